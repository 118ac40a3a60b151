// The bundle assembled off a Mac: its resource file and the property list in it byte for byte as a
// Mac resource compiler writes them (the default list and the universal one), the list against the
// Linux module's, damaged resource files and lists, and `velmorblind info` on the folder.
#include "ModuleFile.h"
#include "Pipl.h"
#include "ResourceFile.h"
#include "ScratchDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <sys/wait.h>

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

const fs::path kBundle = MACOS_BUNDLE_DIR;
const fs::path kUniversalRsrc = MACOS_UNIVERSAL_RSRC;

Bytes readFile(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

Bytes rsrc() { return readFile(kBundle / "Contents" / "Resources" / "VelmorBlind.rsrc"); }

std::uint32_t be32(const Bytes& b, std::size_t at) {
    return std::uint32_t{b[at]} << 24 | std::uint32_t{b[at + 1]} << 16 | std::uint32_t{b[at + 2]} << 8 |
           b[at + 3];
}

std::uint32_t be16(const Bytes& b, std::size_t at) { return std::uint32_t{b[at]} << 8 | b[at + 1]; }

Bytes be(std::uint32_t v, int bytes) {
    Bytes out;
    for (int i = bytes - 1; i >= 0; --i) out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
    return out;
}

Bytes text(const std::string& s) { return Bytes(s.begin(), s.end()); }

Bytes pascal(const std::string& s) {
    Bytes out{static_cast<std::uint8_t>(s.size())};
    for (char c : s) out.push_back(static_cast<std::uint8_t>(c));
    return out;
}

Bytes operator+(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// The list as a Mac resource compiler writes it, from its description, not from our generator: a
// 32-bit version 0 and count, big-endian; per property "8BIM", the key as it reads, id 0, the
// value's own length, the value, zeros up to a multiple of 4. Strings and code entries are a
// length byte and the characters; numbers big-endian.
Bytes macList(const std::vector<std::string>& codeKeys) {
    Bytes props;
    std::uint32_t count = 0;
    auto put = [&](const std::string& key, const Bytes& value) {
        props = props + text("8BIM") + text(key) + be(0, 4) +
                be(static_cast<std::uint32_t>(value.size()), 4) + value +
                Bytes((4 - value.size() % 4) % 4, 0);
        ++count;
    };
    put("kind", text("eFKT"));
    put("name", pascal("VelmorBlind"));
    put("catg", pascal("Velmor"));
    for (const std::string& key : codeKeys) put(key, pascal("EntryPointFunc"));
    put("ePVR", be(2, 2) + be(0, 2));
    put("eSVR", be(13, 2) + be(0, 2));
    put("eVER", be(1 << 19 | 3 << 15 | 3 << 9 | 1, 4));  // 1.3.0 release, build 1
    put("eINF", be(0, 2));
    put("eGLO", be(0x06000000, 4));
    put("eGL2", be(0x1400, 4));
    put("eMNA", pascal("VelmorBlind by Tavelinor"));
    put("aeFL", be(8, 4));
    return be(0, 4) + be(count, 4) + props;
}

// Reads the resource file field by field, every offset and length where the classic layout puts
// it, and returns the one resource's bytes.
Bytes payloadOf(const Bytes& file) {
    EXPECT_GE(file.size(), 260u + 50u);
    if (file.size() < 260 + 50) return {};
    const std::uint32_t n = be32(file, 256);
    const std::uint32_t mapAt = 260 + n;
    EXPECT_EQ(file.size(), std::size_t{mapAt} + 50) << "data, then a 50-byte map, then nothing";
    if (file.size() != std::size_t{mapAt} + 50) return {};
    EXPECT_EQ(be32(file, 0), 256u);   // data offset
    EXPECT_EQ(be32(file, 4), mapAt);  // map offset
    EXPECT_EQ(be32(file, 8), 4 + n);  // data length: one length word and the list
    EXPECT_EQ(be32(file, 12), 50u);   // map length
    EXPECT_TRUE(std::all_of(file.begin() + 16, file.begin() + 256, [](std::uint8_t b) { return b == 0; }));
    EXPECT_TRUE(std::equal(file.begin(), file.begin() + 16, file.begin() + mapAt)) << "header copy";
    EXPECT_EQ(be32(file, mapAt + 16), 0u);   // next map
    EXPECT_EQ(be16(file, mapAt + 20), 0u);   // file reference
    EXPECT_EQ(be16(file, mapAt + 22), 0u);   // attributes
    EXPECT_EQ(be16(file, mapAt + 24), 28u);  // type list, from the map
    EXPECT_EQ(be16(file, mapAt + 26), 50u);  // name list: empty, at the end
    EXPECT_EQ(be16(file, mapAt + 28), 0u);   // one type
    EXPECT_EQ(std::string(file.begin() + mapAt + 30, file.begin() + mapAt + 34), "PiPL");
    EXPECT_EQ(be16(file, mapAt + 34), 0u);       // one resource of it
    EXPECT_EQ(be16(file, mapAt + 36), 10u);      // its reference, from the type list
    EXPECT_EQ(be16(file, mapAt + 38), 16000u);   // id
    EXPECT_EQ(be16(file, mapAt + 40), 0xFFFFu);  // no name
    EXPECT_EQ(be32(file, mapAt + 42), 0u);       // attributes 0, data at offset 0 of the data
    EXPECT_EQ(be32(file, mapAt + 46), 0u);       // handle
    return Bytes(file.begin() + 260, file.begin() + mapAt);
}

TEST(MacResourceFile, EveryOffsetAndTheListByteForByteAsAMacResourceCompilerWritesThem) {
    struct Case {
        const char* what;
        Bytes file;
        std::vector<std::string> keys;
        std::size_t listSize;
    };
    const Case cases[] = {{"the bundle's (macos preset)", rsrc(), {"mi64"}, 296},
                          {"macos-universal", readFile(kUniversalRsrc), {"mi64", "ma64"}, 328}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const Bytes expected = macList(c.keys);
        ASSERT_EQ(expected.size(), c.listSize);
        const Bytes payload = payloadOf(c.file);
        EXPECT_EQ(payload, expected);
        for (std::size_t i = 0; i < std::min(payload.size(), expected.size()); ++i)
            if (payload[i] != expected[i]) {
                ADD_FAILURE() << "first difference at byte " << i << " of the list";
                break;
            }
        std::string error;
        const auto resources = vhost::readResourceFile(c.file, "VelmorBlind.rsrc", error);
        ASSERT_TRUE(resources) << error;
        ASSERT_EQ(resources->size(), 1u);
        EXPECT_EQ(resources->front().data, expected);
    }
}

TEST(MacPropertyList, SaysWhatTheLinuxListSaysWithItsOwnCodeEntries) {
    std::string error;
    const auto elfBytes = vhost::readPiplBytes(LINUX_MODULE, error);
    ASSERT_TRUE(elfBytes) << error;
    const auto elf = vhost::parsePipl(*elfBytes, error);
    ASSERT_TRUE(elf) << error;
    const auto bundleBytes = vhost::readBundlePiplBytes(kBundle, error);
    ASSERT_TRUE(bundleBytes) << error;
    const Bytes universalFile = readFile(kUniversalRsrc);
    const auto universal = vhost::readResourceFile(universalFile, "universal", error);
    ASSERT_TRUE(universal && !universal->empty()) << error;
    struct Case {
        Bytes list;
        std::vector<std::string> keys;
    };
    for (const Case& c : {Case{*bundleBytes, {"mi64"}}, Case{universal->front().data, {"mi64", "ma64"}}}) {
        SCOPED_TRACE(c.keys.size());
        const auto mac = vhost::parseMacPipl(c.list, error);
        ASSERT_TRUE(mac) << error;
        EXPECT_EQ(mac->kind, elf->kind);
        EXPECT_EQ(mac->name, elf->name);
        EXPECT_EQ(mac->category, elf->category);
        EXPECT_EQ(mac->matchName, elf->matchName);
        EXPECT_EQ(mac->entryPoint, elf->entryPoint);
        EXPECT_EQ(mac->version, elf->version);
        EXPECT_EQ(mac->outFlags, elf->outFlags);
        EXPECT_EQ(mac->outFlags2, elf->outFlags2);
        EXPECT_EQ(mac->infoFlags, elf->infoFlags);
        EXPECT_EQ(mac->reservedInfo, elf->reservedInfo);
        ASSERT_TRUE(mac->piplVersion && mac->apiVersion && elf->piplVersion && elf->apiVersion);
        EXPECT_EQ(mac->piplVersion->major, elf->piplVersion->major);
        EXPECT_EQ(mac->apiVersion->major, elf->apiVersion->major);
        std::vector<std::string> keys;
        for (const vhost::PiplCodeEntry& e : mac->codeEntries) {
            keys.push_back(e.key);
            EXPECT_EQ(e.name, "EntryPointFunc");
        }
        EXPECT_EQ(keys, c.keys);
        // The same bytes are no list in the Intel form, nor the Linux list one in the Mac form.
        EXPECT_FALSE(vhost::parsePipl(c.list, error, vhost::kPiplMacIntelCodeEntryKey));
    }
    EXPECT_FALSE(vhost::parseMacPipl(*elfBytes, error));
    EXPECT_NE(error.find("little-endian"), std::string::npos) << error;
}

TEST(MacPropertyList, DamagedListsAreRefusedInOneSentence) {
    const Bytes good = macList({"mi64"});
    std::string error;
    ASSERT_TRUE(vhost::parseMacPipl(good, error)) << error;
    auto refused = [&](const Bytes& list, const std::string& says, const std::string& what) {
        error.clear();
        EXPECT_FALSE(vhost::parseMacPipl(list, error)) << what;
        EXPECT_NE(error.find(says), std::string::npos) << what << ": " << error;
        EXPECT_EQ(error.find('\n'), std::string::npos) << error;
    };
    for (std::size_t size = 0; size < good.size(); ++size)
        refused(Bytes(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(size)), "property list",
                "cut to " + std::to_string(size));
    refused(Bytes(good.begin(), good.begin() + 7), "shorter than its 8-byte header", "header cut");
    Bytes b = good;
    b[7] = 13;  // one property more than the list holds
    refused(b, "property 13 of 13 starts at byte 296", "count 13");
    b[7] = 0xFF;
    refused(b, "truncated or miscounted: 255 properties", "count 255");
    b = good;
    b[2] = 1;
    refused(b, "version 256 is not 0", "version");
    b = good;
    b[56 + 12 + 2] = 1;  // "catg" (after the header, kind's 20 bytes and name's 28) declares 263 bytes
    refused(b, "(\"catg\") declares 263 bytes", "length past the end");
    b = good;
    b[56 + 12 + 3] = 9;  // "catg" declares 9: its padded value runs into the next property's head
    refused(b, "property list", "length into the next property");
    b = good;
    b[80 + 16] = 20;  // the entry's (after catg's 24 bytes) length byte past its value
    refused(b, "length byte (20) runs past", "entry length byte");
    b = good;
    std::copy_n("mi65", 4, b.begin() + 80 + 4);
    refused(b, "no entry point (\"mi64\" or \"ma64\")", "no code entry");
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
        {"resource length past the data", 258, 0x10, "declares 4136 bytes"},
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
    const vtest::ScratchDir scratch("velmor-bundle");
    const fs::path& dir = scratch.path();
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

// A bundle folder NAME.plugin in `scratch` whose resource file holds `list` as 'PiPL' 16000: the
// bundle's own file with the data and the offsets that follow it remade around the list.
fs::path bundleWith(const vtest::ScratchDir& scratch, const std::string& name, const Bytes& list) {
    const Bytes good = rsrc();
    const auto n = static_cast<std::uint32_t>(list.size());
    const Bytes header = be(256, 4) + be(260 + n, 4) + be(4 + n, 4) + be(50, 4);
    Bytes file = header + Bytes(240, 0) + be(n, 4) + list + header;
    file.insert(file.end(), good.begin() + be32(good, 4) + 16, good.end());
    const fs::path dir = scratch.path() / (name + ".plugin");
    fs::create_directories(dir / "Contents" / "Resources");
    std::ofstream(dir / "Contents" / "Resources" / "VelmorBlind.rsrc", std::ios::binary)
        .write(reinterpret_cast<const char*>(file.data()), static_cast<std::streamsize>(file.size()));
    return dir;
}

TEST(MacBundleInfo, ShowsEveryCodeEntryAndRefusesADamagedListInOneSentence) {
    const vtest::ScratchDir scratch("velmor-bundle");
    const fs::path universal = bundleWith(scratch, "universal", macList({"mi64", "ma64"}));
    const ToolRun run = info(universal.string());
    EXPECT_EQ(run.status, 0) << run.out;
    const auto at = run.out.find("\n  Entry point: ");
    ASSERT_NE(at, std::string::npos) << run.out;
    EXPECT_EQ(run.out.substr(at + 1, run.out.find("\n  Version:") - at),
              "  Entry point: EntryPointFunc (code entry \"mi64\": macOS x86-64)\n"
              "  Entry point: EntryPointFunc (code entry \"ma64\": macOS arm64)\n");

    std::string error;
    const auto elfList = vhost::readPiplBytes(LINUX_MODULE, error);
    ASSERT_TRUE(elfList) << error;
    // Every damaged list takes the same way out (the cases are in DamagedListsAreRefusedInOneSentence):
    // one, the Linux list in a Mac file, through the tool.
    const fs::path dir = bundleWith(scratch, "little-endian", *elfList);
    const ToolRun bad = info(dir.string());
    EXPECT_EQ(bad.status, 1) << bad.out;
    EXPECT_NE(bad.out.find("carries a bad property list (property list is little-endian"), std::string::npos)
        << bad.out;
    EXPECT_EQ(std::count(bad.out.begin(), bad.out.end(), '\n'), 1) << bad.out;
}
#endif

}  // namespace
