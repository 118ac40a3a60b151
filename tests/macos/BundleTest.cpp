// The bundle assembled off a Mac: its resource file as a Mac host reads it, the property list in
// it against the Linux module's, the host's resource-file reader on damaged files, and
// `velmorblind info` on the bundle folder.
#include "ModuleFile.h"
#include "Pipl.h"
#include "ResourceFile.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include <sys/wait.h>

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

const fs::path kBundle = MACOS_BUNDLE_DIR;
const fs::path kRsrc = kBundle / "Contents" / "Resources" / "VelmorBlind.rsrc";

Bytes slurp(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

std::uint32_t be32(const Bytes& b, std::size_t at) {
    return std::uint32_t{b[at]} << 24 | std::uint32_t{b[at + 1]} << 16 | std::uint32_t{b[at + 2]} << 8 | b[at + 3];
}

void putBe16(Bytes& b, std::size_t at, std::uint32_t v) {
    b[at] = static_cast<std::uint8_t>(v >> 8);
    b[at + 1] = static_cast<std::uint8_t>(v);
}

TEST(MacResourceFile, GeneratedFileHoldsOnePiplResource) {
    const Bytes file = slurp(kRsrc);
    ASSERT_GE(file.size(), 16u) << kRsrc;
    // Header: data right after the 256 reserved bytes, the map right after the data, ending the file.
    const std::uint32_t dataAt = be32(file, 0), mapAt = be32(file, 4);
    const std::uint32_t dataLength = be32(file, 8), mapLength = be32(file, 12);
    EXPECT_EQ(dataAt, 256u);
    EXPECT_EQ(mapAt, dataAt + dataLength);
    EXPECT_EQ(file.size(), std::size_t{mapAt} + mapLength);
    ASSERT_LE(std::size_t{mapAt} + 16, file.size());
    EXPECT_TRUE(std::equal(file.begin(), file.begin() + 16, file.begin() + mapAt)) << "map's header copy";

    std::string error;
    const auto resources = vhost::readResourceFile(file, "VelmorBlind.rsrc", error);
    ASSERT_TRUE(resources) << error;
    ASSERT_EQ(resources->size(), 1u);
    const vhost::MacResource& r = resources->front();
    EXPECT_EQ(r.type, "PiPL");
    EXPECT_EQ(r.id, 16000);
    EXPECT_EQ(r.attributes, 0);
    // The one resource fills the data: its length word, then its bytes.
    EXPECT_EQ(r.data.size() + 4, dataLength);
}

TEST(MacResourceFile, PropertiesEqualTheLinuxListExceptTheCodeEntry) {
    std::string error;
    const auto elfBytes = vhost::readPiplBytes(LINUX_MODULE, error);
    ASSERT_TRUE(elfBytes) << error;
    const auto macBytes = vhost::readBundlePiplBytes(kBundle, error);
    ASSERT_TRUE(macBytes) << error;
    const auto elfList = vhost::parsePipl(*elfBytes, error);
    ASSERT_TRUE(elfList) << error;
    const auto mac = vhost::parsePipl(*macBytes, error, vhost::kPiplMacIntelCodeEntryKey);
    ASSERT_TRUE(mac) << error;

    ASSERT_EQ(mac->properties.size(), elfList->properties.size());
    int codeEntries = 0;
    for (std::size_t i = 0; i < mac->properties.size(); ++i) {
        const vhost::PiplProperty& m = mac->properties[i];
        const vhost::PiplProperty& l = elfList->properties[i];
        SCOPED_TRACE("property " + std::to_string(i + 1) + " \"" + l.key + "\"");
        EXPECT_EQ(m.vendor, l.vendor);
        EXPECT_EQ(m.id, l.id);
        EXPECT_EQ(m.value, l.value);
        if (l.key == vhost::kPiplCodeEntryKey) {
            EXPECT_EQ(m.key, vhost::kPiplMacIntelCodeEntryKey);
            ++codeEntries;
        } else {
            EXPECT_EQ(m.key, l.key);
        }
    }
    EXPECT_EQ(codeEntries, 1);
    EXPECT_EQ(mac->entryPoint, "EntryPointFunc");
    EXPECT_EQ(mac->find(vhost::kPiplCodeEntryKey), nullptr) << "the Windows code entry is still there";
    // Byte for byte the same list (the same byte order) but for the code entry's key, which is
    // stored back to front like every four-character code.
    const std::string elfKey = "4668", macKey = "46im";
    const auto at = std::search(elfBytes->begin(), elfBytes->end(), elfKey.begin(), elfKey.end());
    ASSERT_NE(at, elfBytes->end());
    Bytes expected = *elfBytes;
    std::copy(macKey.begin(), macKey.end(), expected.begin() + (at - elfBytes->begin()));
    EXPECT_EQ(*macBytes, expected);
}

// A well-formed file with one resource of `type` 16000, built here independently of the generator.
Bytes resourceFile(const std::string& type, const Bytes& payload) {
    Bytes f(256, 0);
    const std::uint32_t dataLength = static_cast<std::uint32_t>(payload.size() + 4);
    const std::uint32_t mapAt = 256 + dataLength;
    for (std::uint32_t v : {static_cast<std::uint32_t>(payload.size())}) {
        f.push_back(static_cast<std::uint8_t>(v >> 24));
        f.push_back(static_cast<std::uint8_t>(v >> 16));
        f.push_back(static_cast<std::uint8_t>(v >> 8));
        f.push_back(static_cast<std::uint8_t>(v));
    }
    f.insert(f.end(), payload.begin(), payload.end());
    Bytes map(50, 0);
    putBe16(map, 24, 28);  // type list
    putBe16(map, 26, 50);  // name list (empty)
    putBe16(map, 28, 0);   // one type
    std::copy(type.begin(), type.end(), map.begin() + 30);
    putBe16(map, 34, 0);   // one resource
    putBe16(map, 36, 10);  // its references, from the type list
    putBe16(map, 38, 16000);
    putBe16(map, 40, 0xFFFF);
    f.insert(f.end(), map.begin(), map.end());
    const std::uint32_t header[4] = {256, mapAt, dataLength, 50};
    for (int i = 0; i < 4; ++i)
        for (int k = 0; k < 4; ++k) f[4 * i + k] = f[mapAt + 4 * i + k] = static_cast<std::uint8_t>(header[i] >> (24 - 8 * k));
    return f;
}

TEST(MacResourceFile, DamagedFilesAreRefusedWithAReason) {
    const Bytes payload = {1, 2, 3, 4, 5};
    const Bytes good = resourceFile("PiPL", payload);
    std::string error;
    const auto read = vhost::readResourceFile(good, "good", error);
    ASSERT_TRUE(read) << error;
    ASSERT_EQ(read->size(), 1u);
    EXPECT_EQ(read->front().data, payload);

    const std::size_t mapAt = 256 + 4 + payload.size();
    struct Case {
        const char* what;
        std::size_t at;
        std::uint32_t value;
        const char* says;
    };
    const Case cases[] = {
        {"data length past the end", 10, 0x7FFF, "data outside the file"},
        {"map offset past the end", 6, 0x7FFF, "map outside the file"},
        {"map too short", 14, 20, "shorter than its header"},
        {"type list past the map", mapAt + 24, 60, "type list outside"},
        {"more types than the map holds", mapAt + 28, 5, "type entries outside"},
        {"references past the map", mapAt + 36, 200, "references of type 'PiPL'"},
        {"more resources than the map holds", mapAt + 34, 3, "references of type 'PiPL'"},
        {"resource offset past the data", mapAt + 44, 0x0100, "outside the data"},
        {"resource length past the data", 256 + 2, 0x0100, "declares 256 bytes"},
    };
    for (const Case& c : cases) {
        Bytes bad = good;
        putBe16(bad, c.at, c.value);
        EXPECT_FALSE(vhost::readResourceFile(bad, "bad.rsrc", error)) << c.what;
        EXPECT_NE(error.find(c.says), std::string::npos) << c.what << ": " << error;
        EXPECT_EQ(error.rfind("bad.rsrc is a damaged resource file (", 0), 0u) << error;
    }
    // Every cut of the file loses its map.
    for (std::size_t size = 0; size < good.size(); ++size)
        EXPECT_FALSE(vhost::readResourceFile(Bytes(good.begin(), good.begin() + size), "cut", error)) << size;
}

class BundleFolder : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() / ("velmor-bundle-" + std::to_string(std::random_device{}()));
        fs::create_directories(dir_ / "Contents" / "Resources");
    }
    void TearDown() override { fs::remove_all(dir_); }
    void write(const std::string& name, const Bytes& bytes) {
        std::ofstream(dir_ / "Contents" / "Resources" / name, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    }
    fs::path dir_;
};

TEST_F(BundleFolder, ReaderFindsThePiplAmongResourceFilesOrSaysWhyNot) {
    std::string error;
    EXPECT_FALSE(vhost::readBundlePiplBytes(dir_, error));
    EXPECT_NE(error.find("no Contents/Resources/*.rsrc"), std::string::npos) << error;

    write("a.rsrc", resourceFile("STR ", {9, 9}));
    EXPECT_FALSE(vhost::readBundlePiplBytes(dir_, error));
    EXPECT_NE(error.find("no resource 'PiPL' 16000"), std::string::npos) << error;

    write("b.rsrc", resourceFile("PiPL", {7, 7, 7}));
    const auto bytes = vhost::readBundlePiplBytes(dir_, error);
    ASSERT_TRUE(bytes) << error;
    EXPECT_EQ(*bytes, (Bytes{7, 7, 7}));

    // A damaged file is named, not skipped.
    write("a.rsrc", Bytes(10, 0));
    EXPECT_FALSE(vhost::readBundlePiplBytes(dir_, error));
    EXPECT_NE(error.find("a.rsrc is a damaged resource file"), std::string::npos) << error;

    // Loading the bundle as a module stops before any code, with the reason.
    EXPECT_FALSE(vhost::readPiplBytes(kBundle, error));
    EXPECT_NE(error.find("is a macOS bundle"), std::string::npos) << error;
}

#ifdef VELMORBLIND_TOOL
struct ToolRun {
    int status;
    std::string out;
};

ToolRun run(const std::string& args) {
    ToolRun r{-1, {}};
    FILE* p = popen((std::string("'") + VELMORBLIND_TOOL + "' " + args + " 2>&1").c_str(), "r");
    if (!p) return r;
    char buf[4096];
    for (std::size_t n; (n = fread(buf, 1, sizeof buf, p)) > 0;) r.out.append(buf, n);
    const int status = pclose(p);
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return r;
}

// "  Name:        VelmorBlind" -> {"Name", "VelmorBlind"}, for the property-list lines.
std::map<std::string, std::string> fields(const std::string& text) {
    std::map<std::string, std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        const auto colon = line.find(':');
        if (line.rfind("  ", 0) != 0 || colon == std::string::npos) continue;
        const auto value = line.find_first_not_of(' ', colon + 1);
        out.emplace(line.substr(2, colon - 2), value == std::string::npos ? "" : line.substr(value));
    }
    return out;
}

TEST(MacBundleInfo, PrintsTheLinuxModulesIdentityWithoutLoadingCode) {
    const ToolRun mac = run("info --module '" + kBundle.string() + "'");
    ASSERT_EQ(mac.status, 0) << mac.out;
    const ToolRun elf = run(std::string("info --module '") + LINUX_MODULE + "'");
    ASSERT_EQ(elf.status, 0) << elf.out;
    const auto m = fields(mac.out), l = fields(elf.out);
    for (const char* key : {"Name", "Category", "Match name", "Version", "Flags", "Flags 2"}) {
        ASSERT_TRUE(l.count(key)) << key << " missing from\n" << elf.out;
        EXPECT_EQ(m.count(key) ? m.at(key) : "(missing)", l.at(key)) << key;
    }
    EXPECT_EQ(m.count("Entry point") ? m.at("Entry point") : "",
              "EntryPointFunc (code entry \"mi64\": macOS x86-64)");
    // Nothing ran: no About text, no controls.
    EXPECT_EQ(mac.out.find("About:"), std::string::npos) << mac.out;

    const ToolRun notBundle = run("info --module '" + fs::temp_directory_path().string() + "'");
    EXPECT_EQ(notBundle.status, 1);
    EXPECT_NE(notBundle.out.find("is not a macOS effect bundle"), std::string::npos) << notBundle.out;
}
#endif

}  // namespace
