// The built module file: the property list in its ".pipl" section byte for byte, the resource
// script for the Windows build carrying the same bytes, and a dynamic symbol table that exports
// EntryPointFunc and nothing else.
#include "ScratchDir.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

// ---- the expected property list, written out from its layout table ---------------------------

void le16(Bytes& b, std::uint16_t v) {
    b.push_back(v & 0xFF);
    b.push_back(v >> 8);
}
void le32(Bytes& b, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) b.push_back((v >> (8 * i)) & 0xFF);
}
Bytes text(const std::string& s) { return Bytes(s.begin(), s.end()); }
Bytes cat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

struct Property {
    const char* keyAsStored;  // four-character codes are stored reversed
    std::uint32_t length;
    Bytes value;
};

Bytes expectedPipl() {
    Bytes u16x2_2_0, u16x2_13_0, ver, inf, glo, gl2, fl;
    le16(u16x2_2_0, 2), le16(u16x2_2_0, 0);
    le16(u16x2_13_0, 13), le16(u16x2_13_0, 0);
    le32(ver, 0x00098601);
    le16(inf, 0);
    le32(glo, 0x06000000);
    le32(gl2, 0x00001400);
    le32(fl, 8);
    const Property table[] = {
        {"dnik", 4, text("TKFe")},
        {"eman", 12, cat({{11}, text("VelmorBlind")})},
        {"gtac", 8, cat({{6}, text("Velmor"), {0}})},
        {"4668", 16, cat({text("EntryPointFunc"), {0, 0}})},
        {"RVPe", 4, u16x2_2_0},
        {"RVSe", 4, u16x2_13_0},
        {"REVe", 4, ver},
        {"FNIe", 2, inf},
        {"OLGe", 4, glo},
        {"2LGe", 4, gl2},
        {"ANMe", 28, cat({{24}, text("VelmorBlind by Tavelinor"), {0, 0, 0}})},
        {"LFea", 4, fl},
    };
    Bytes b;
    le16(b, 1);
    le32(b, 0);
    le32(b, 12);
    for (const Property& p : table) {
        EXPECT_EQ(p.value.size(), p.length) << p.keyAsStored;
        const Bytes vendor = text("MIB8"), key = text(p.keyAsStored);
        b.insert(b.end(), vendor.begin(), vendor.end());
        b.insert(b.end(), key.begin(), key.end());
        le32(b, 0);
        le32(b, p.length);
        b.insert(b.end(), p.value.begin(), p.value.end());
        while ((b.size() - 10) % 4 != 0)  // values are padded to 4 bytes
            b.push_back(0);
    }
    return b;
}

// ---- running the binary tools -----------------------------------------------------------------

std::string run(const std::string& command) {
    std::string out;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return out;
    char buf[4096];
    while (std::size_t n = std::fread(buf, 1, sizeof buf, pipe)) out.append(buf, n);
    const int status = pclose(pipe);
    EXPECT_EQ(status, 0) << command;
    return out;
}

Bytes readFile(const std::filesystem::path& p) {
    std::ifstream f(p, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(f), {});
}

std::string quoted(const std::filesystem::path& p) { return "'" + p.string() + "'"; }

}  // namespace

TEST(ModuleFile, ThePiplSectionHoldsExactlyThePropertyList) {
    const Bytes want = expectedPipl();
    ASSERT_EQ(want.size(), 298u);
    const vtest::ScratchDir scratch("velmor-module-file");
    const auto out = scratch.path() / "pipl.bin";
    run(std::string(VELMOR_OBJCOPY) + " -O binary --only-section=.pipl " + quoted(VELMOR_MODULE) + " " +
        quoted(out));
    const Bytes got = readFile(out);
    ASSERT_EQ(got.size(), want.size());
    for (std::size_t i = 0; i < want.size(); ++i)
        ASSERT_EQ(got[i], want[i]) << "first difference at byte " << i;
}

TEST(ModuleFile, TheOnlyDynamicSymbolItDefinesIsEntryPointFunc) {
    const std::string listing = run(std::string(VELMOR_NM) + " -D --defined-only " + quoted(VELMOR_MODULE));
    std::set<std::string> names;
    std::istringstream lines(listing);
    for (std::string line; std::getline(lines, line);) {
        std::istringstream fields(line);
        std::string a, b, c;
        fields >> a >> b >> c;
        names.insert(c.empty() ? b : c);  // "addr type name", or "type name" for absolute ones
    }
    EXPECT_EQ(names, std::set<std::string>{"EntryPointFunc"}) << listing;
}

TEST(ModuleFile, TheWindowsResourceScriptCarriesTheSameBytes) {
    std::ifstream f(VELMOR_PIPL_RC);
    ASSERT_TRUE(f) << VELMOR_PIPL_RC;
    const std::string rc((std::istreambuf_iterator<char>(f)), {});
    // Tokens, separators dropped: "LANGUAGE 9 1 16000 PIPL BEGIN 0x0001 ... END".
    std::vector<std::string> tokens;
    {
        std::string clean;
        bool comment = false;
        for (std::size_t i = 0; i < rc.size(); ++i) {
            if (!comment && rc.compare(i, 2, "/*") == 0) comment = true;
            if (!comment) clean += rc[i] == ',' ? ' ' : rc[i];
            if (comment && rc.compare(i, 2, "*/") == 0) comment = false, ++i;
        }
        std::istringstream words(clean);
        for (std::string w; words >> w;) tokens.push_back(w);
    }
    const std::vector<std::string> head = {"LANGUAGE", "9", "1", "16000", "PIPL", "BEGIN"};
    ASSERT_GT(tokens.size(), head.size() + 1) << rc;
    EXPECT_EQ(std::vector<std::string>(tokens.begin(), tokens.begin() + head.size()), head) << rc;
    EXPECT_EQ(tokens.back(), "END");
    Bytes got;
    for (std::size_t i = head.size(); i + 1 < tokens.size(); ++i) {
        const std::string& w = tokens[i];
        ASSERT_TRUE(w.size() == 6 && w.compare(0, 2, "0x") == 0) << "not a 16-bit word: " << w;
        le16(got, static_cast<std::uint16_t>(std::stoul(w.substr(2), nullptr, 16)));
    }
    EXPECT_EQ(got.size(), 298u);
    EXPECT_EQ(got, expectedPipl());
}

// Compiles the resource script with the mingw-w64 resource compiler, where one is installed, and
// reads the compiled resource back: type "PIPL", id 16000, language 1033, the same 298 bytes.
TEST(ModuleFile, TheResourceScriptCompilesToAPiplResource) {
    const std::string windres = VELMOR_WINDRES;
    if (windres.empty()) GTEST_SKIP() << "no resource compiler installed";
    const vtest::ScratchDir scratch("velmor-module-file");
    const auto res = scratch.path() / "pipl.res";
    run(windres + " -i " + quoted(VELMOR_PIPL_RC) + " -O res -o " + quoted(res));
    const Bytes b = readFile(res);

    auto u16 = [&](std::size_t at) { return std::uint32_t(b.at(at) | (b.at(at + 1) << 8)); };
    auto u32 = [&](std::size_t at) { return u16(at) | (u16(at + 2) << 16); };
    // A .res file is a list of entries: data size, header size, type, name, (aligned) data
    // version, memory flags, language, version, characteristics, then the data.
    bool found = false;
    for (std::size_t at = 0; at + 8 <= b.size();) {
        const std::uint32_t dataSize = u32(at), headerSize = u32(at + 4);
        std::size_t p = at + 8;
        auto idOrName = [&](std::string& name, std::uint32_t& id) {
            if (u16(p) == 0xFFFF) {
                id = u16(p + 2);
                p += 4;
            } else {
                for (; u16(p) != 0; p += 2) name.push_back(static_cast<char>(u16(p)));
                p += 2;
            }
        };
        std::string type, name;
        std::uint32_t typeId = 0, nameId = 0;
        idOrName(type, typeId);
        idOrName(name, nameId);
        p = (p + 3) & ~std::size_t(3);
        const std::uint32_t language = u16(p + 6);
        if (type == "PIPL") {
            found = true;
            EXPECT_EQ(nameId, 16000u);
            EXPECT_EQ(language, 1033u);
            const Bytes data(b.begin() + at + headerSize, b.begin() + at + headerSize + dataSize);
            EXPECT_EQ(data, expectedPipl());
        }
        at += headerSize + ((dataSize + 3) & ~std::uint32_t(3));
    }
    EXPECT_TRUE(found);
}
