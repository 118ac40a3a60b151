// The bundle assembled off a Mac: its resource file as a Mac host reads it, the property list in
// it against the Linux module's, damaged resource files, and `velmorblind info` on the folder.
#include "ModuleFile.h"
#include "Pipl.h"
#include "ResourceFile.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include <sys/wait.h>

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

const fs::path kBundle = MACOS_BUNDLE_DIR;

Bytes rsrc() {
    std::ifstream in(kBundle / "Contents" / "Resources" / "VelmorBlind.rsrc", std::ios::binary);
    return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

std::uint32_t be32(const Bytes& b, std::size_t at) {
    return std::uint32_t{b[at]} << 24 | std::uint32_t{b[at + 1]} << 16 | std::uint32_t{b[at + 2]} << 8 |
           b[at + 3];
}

TEST(MacResourceFile, HoldsOnePiplWhoseListIsTheLinuxOneButForTheCodeEntry) {
    const Bytes file = rsrc();
    ASSERT_GE(file.size(), 16u);
    // Data after the 256 reserved bytes, then the map (opening with a copy of the header) to the end.
    const std::uint32_t dataAt = be32(file, 0), mapAt = be32(file, 4), dataLength = be32(file, 8);
    EXPECT_EQ(dataAt, 256u);
    EXPECT_EQ(mapAt, dataAt + dataLength);
    ASSERT_EQ(file.size(), std::size_t{mapAt} + be32(file, 12));
    EXPECT_TRUE(std::equal(file.begin(), file.begin() + 16, file.begin() + mapAt));
    std::string error;
    const auto resources = vhost::readResourceFile(file, "VelmorBlind.rsrc", error);
    ASSERT_TRUE(resources) << error;
    ASSERT_EQ(resources->size(), 1u);
    EXPECT_EQ(resources->front().type, "PiPL");
    EXPECT_EQ(resources->front().id, 16000);
    EXPECT_EQ(resources->front().data.size() + 4, dataLength);

    const auto elfBytes = vhost::readPiplBytes(LINUX_MODULE, error);
    ASSERT_TRUE(elfBytes) << error;
    const auto macBytes = vhost::readBundlePiplBytes(kBundle, error);
    ASSERT_TRUE(macBytes) << error;
    EXPECT_EQ(*macBytes, resources->front().data);
    const auto elfList = vhost::parsePipl(*elfBytes, error);
    ASSERT_TRUE(elfList) << error;
    const auto mac = vhost::parsePipl(*macBytes, error, vhost::kPiplMacIntelCodeEntryKey);
    ASSERT_TRUE(mac) << error;
    ASSERT_EQ(mac->properties.size(), elfList->properties.size());
    for (std::size_t i = 0; i < mac->properties.size(); ++i) {
        const vhost::PiplProperty &m = mac->properties[i], &l = elfList->properties[i];
        SCOPED_TRACE("property " + std::to_string(i + 1) + " \"" + l.key + "\"");
        EXPECT_EQ(m.vendor, l.vendor);
        EXPECT_EQ(m.id, l.id);
        EXPECT_EQ(m.value, l.value);
        EXPECT_EQ(m.key, l.key == vhost::kPiplCodeEntryKey ? vhost::kPiplMacIntelCodeEntryKey : l.key);
    }
    EXPECT_EQ(mac->entryPoint, "EntryPointFunc");
    // The same bytes in the same order but the key, stored back to front like every code.
    const std::string elfKey = "4668", macKey = "46im";
    Bytes expected = *elfBytes;
    const auto at = std::search(expected.begin(), expected.end(), elfKey.begin(), elfKey.end());
    ASSERT_NE(at, expected.end());
    std::copy(macKey.begin(), macKey.end(), at);
    EXPECT_EQ(*macBytes, expected);
}

TEST(MacResourceFile, DamagedFilesAreRefusedWithAReason) {
    const Bytes good = rsrc();
    ASSERT_GE(good.size(), 16u);
    const std::size_t mapAt = be32(good, 4);
    struct Case {
        const char* what;
        std::size_t at;
        std::uint8_t value;
        const char* says;
    };
    const Case cases[] = {
        {"data length past the end", 10, 0x7F, "data outside the file"},
        {"map offset past the end", 6, 0x7F, "map outside the file"},
        {"map too short", 15, 20, "shorter than its header"},
        {"type list past the map", mapAt + 25, 60, "type list outside"},
        {"more types than the map holds", mapAt + 29, 5, "type entries outside"},
        {"references past the map", mapAt + 37, 200, "references of type 'PiPL'"},
        {"more resources than the map holds", mapAt + 35, 3, "references of type 'PiPL'"},
        {"resource offset past the data", mapAt + 44, 0x10, "outside the data"},
        {"resource length past the data", 258, 0x10, "declares 4138 bytes"},
    };
    std::string error;
    for (const Case& c : cases) {
        Bytes bad = good;
        bad[c.at] = c.value;
        EXPECT_FALSE(vhost::readResourceFile(bad, "bad.rsrc", error)) << c.what;
        EXPECT_EQ(error.rfind("bad.rsrc is a damaged resource file (", 0), 0u) << error;
        EXPECT_NE(error.find(c.says), std::string::npos) << c.what << ": " << error;
    }
    for (std::size_t size = 0; size < good.size(); ++size)
        EXPECT_FALSE(vhost::readResourceFile(Bytes(good.begin(), good.begin() + size), "cut", error)) << size;
}

TEST(MacBundle, ReaderNamesWhatIsMissing) {
    const fs::path dir =
        fs::temp_directory_path() / ("velmor-bundle-" + std::to_string(std::random_device{}()));
    fs::create_directories(dir / "Contents" / "Resources");
    std::string error;
    EXPECT_FALSE(vhost::readBundlePiplBytes(dir, error));
    EXPECT_NE(error.find("no Contents/Resources/*.rsrc"), std::string::npos) << error;
    // A resource file without the property list: the type renamed.
    Bytes other = rsrc();
    ASSERT_GE(other.size(), 16u);
    std::copy_n("STR ", 4, other.begin() + be32(other, 4) + 30);
    std::ofstream(dir / "Contents" / "Resources" / "a.rsrc", std::ios::binary)
        .write(reinterpret_cast<const char*>(other.data()), static_cast<std::streamsize>(other.size()));
    EXPECT_FALSE(vhost::readBundlePiplBytes(dir, error));
    EXPECT_NE(error.find("no resource 'PiPL' 16000"), std::string::npos) << error;
    fs::remove_all(dir);
    // Loading the bundle as a module stops before any code, with the reason.
    EXPECT_FALSE(vhost::readPiplBytes(kBundle, error));
    EXPECT_NE(error.find("is a macOS bundle"), std::string::npos) << error;
}

#ifdef VELMORBLIND_TOOL
struct ToolRun {
    int status = -1;
    std::string out;
};

ToolRun info(const std::string& module) {
    ToolRun r;
    FILE* p = popen(("'" VELMORBLIND_TOOL "' info --module '" + module + "' 2>&1").c_str(), "r");
    if (!p) return r;
    char buf[4096];
    for (std::size_t n; (n = fread(buf, 1, sizeof buf, p)) > 0;) r.out.append(buf, n);
    const int status = pclose(p);
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return r;
}

// The line that starts with `label`, or "" when there is none.
std::string line(const std::string& text, const std::string& label) {
    const auto at = text.find("\n" + label);
    return at == std::string::npos ? "" : text.substr(at + 1, text.find('\n', at + 1) - at - 1);
}

TEST(MacBundleInfo, PrintsTheLinuxModulesIdentityWithoutLoadingCode) {
    const ToolRun mac = info(kBundle.string()), elf = info(LINUX_MODULE);
    ASSERT_EQ(mac.status, 0) << mac.out;
    ASSERT_EQ(elf.status, 0) << elf.out;
    for (const char* label :
         {"  Name: ", "  Category: ", "  Match name: ", "  Version: ", "  Flags: ", "  Flags 2: "}) {
        EXPECT_NE(line(elf.out, label), "") << label;
        EXPECT_EQ(line(mac.out, label), line(elf.out, label));
    }
    EXPECT_EQ(line(mac.out, "  Entry point: "),
              "  Entry point: EntryPointFunc (code entry \"mi64\": macOS x86-64)");
    EXPECT_EQ(mac.out.find("About:"), std::string::npos) << "the bundle's code ran:\n" << mac.out;

    const ToolRun notBundle = info(fs::temp_directory_path().string());
    EXPECT_EQ(notBundle.status, 1);
    EXPECT_NE(notBundle.out.find("is not a macOS effect bundle"), std::string::npos) << notBundle.out;
}
#endif

}  // namespace
