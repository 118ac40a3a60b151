// Parsing and checking property lists: the effect's full list written out from its layout table,
// a short list as literal bytes, and every way the counts and lengths can fail to add up.
#include "Pipl.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace vhost {
namespace {

using Bytes = std::vector<std::uint8_t>;

void put16(Bytes& b, std::uint16_t v) {
    b.push_back(static_cast<std::uint8_t>(v));
    b.push_back(static_cast<std::uint8_t>(v >> 8));
}
void put32(Bytes& b, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) b.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}
void putCode(Bytes& b, const char* code) {  // stored back to front
    for (int i = 3; i >= 0; --i) b.push_back(static_cast<std::uint8_t>(code[i]));
}
void putProperty(Bytes& b, const char* key, const Bytes& value) {
    putCode(b, "8BIM");
    putCode(b, key);
    put32(b, 0);
    put32(b, static_cast<std::uint32_t>(value.size()));
    b.insert(b.end(), value.begin(), value.end());
    while (b.size() % 4 != 2) b.push_back(0);  // the 10-byte header shifts 4-alignment to 2
}
Bytes pascal(const std::string& s, std::size_t trailingZeros = 0) {
    Bytes v;
    v.push_back(static_cast<std::uint8_t>(s.size()));
    for (char c : s) v.push_back(static_cast<std::uint8_t>(c));
    for (std::size_t i = 0; i < trailingZeros; ++i) v.push_back(0);
    return v;
}
Bytes word(std::uint32_t w) {
    Bytes v;
    put32(v, w);
    return v;
}
Bytes pair(std::uint16_t major, std::uint16_t minor) {
    Bytes v;
    put16(v, major);
    put16(v, minor);
    return v;
}

// The effect's property list, one property per row of its layout table.
Bytes effectList() {
    Bytes b;
    put16(b, 1);
    put32(b, 0);
    put32(b, 12);
    Bytes kind;
    putCode(kind, "eFKT");
    putProperty(b, "kind", kind);
    putProperty(b, "name", pascal("VelmorBlind"));
    putProperty(b, "catg", pascal("Velmor", 1));
    Bytes entry{'E', 'n', 't', 'r', 'y', 'P', 'o', 'i', 'n', 't', 'F', 'u', 'n', 'c', 0, 0};
    putProperty(b, "8664", entry);
    putProperty(b, "ePVR", pair(2, 0));
    putProperty(b, "eSVR", pair(13, 0));
    putProperty(b, "eVER", word(0x00098601));
    putProperty(b, "eINF", Bytes{0, 0});
    putProperty(b, "eGLO", word(0x06000000));
    putProperty(b, "eGL2", word(0x00001400));
    putProperty(b, "eMNA", pascal("VelmorBlind by Tavelinor", 3));
    putProperty(b, "aeFL", word(8));
    return b;
}

// Offsets in effectList(): property heads start at 10; "name" is the second property.
constexpr std::size_t kNameLengthAt = 10 + 20 + 12;  // after kind (16 + 4), then vendor/key/id
constexpr std::size_t kCountAt = 6;

TEST(PiplParse, ReadsEveryPropertyOfTheEffectList) {
    const Bytes bytes = effectList();
    ASSERT_EQ(bytes.size(), 298u);
    std::string error;
    const auto pipl = parsePipl(bytes, error);
    ASSERT_TRUE(pipl) << error;
    ASSERT_EQ(pipl->properties.size(), 12u);
    const char* keys[] = {"kind", "name", "catg", "8664", "ePVR", "eSVR",
                          "eVER", "eINF", "eGLO", "eGL2", "eMNA", "aeFL"};
    for (std::size_t i = 0; i < 12; ++i) {
        EXPECT_EQ(pipl->properties[i].vendor, "8BIM");
        EXPECT_EQ(pipl->properties[i].key, keys[i]);
        EXPECT_EQ(pipl->properties[i].id, 0);
    }
    EXPECT_EQ(pipl->find("eINF")->value.size(), 2u);  // padding is not part of the value
    EXPECT_EQ(pipl->kind, "eFKT");
    EXPECT_EQ(pipl->name, "VelmorBlind");
    EXPECT_EQ(pipl->category, "Velmor");
    EXPECT_EQ(pipl->matchName, "VelmorBlind by Tavelinor");
    EXPECT_EQ(pipl->entryPoint, "EntryPointFunc");
    ASSERT_TRUE(pipl->piplVersion && pipl->apiVersion);
    EXPECT_EQ(pipl->piplVersion->major, 2);
    EXPECT_EQ(pipl->piplVersion->minor, 0);
    EXPECT_EQ(pipl->apiVersion->major, 13);
    EXPECT_EQ(pipl->apiVersion->minor, 0);
    EXPECT_EQ(pipl->version, 0x00098601u);
    EXPECT_EQ(pipl->infoFlags, 0u);
    EXPECT_EQ(pipl->outFlags, 0x06000000u);
    EXPECT_EQ(pipl->outFlags2, 0x00001400u);
    EXPECT_EQ(pipl->reservedInfo, 8u);
    EXPECT_EQ(pipl->find("none"), nullptr);
}

TEST(PiplParse, ReadsFourCharacterCodesBackToFront) {
    // Literal bytes, as they stand in a module file.
    const Bytes bytes = {1,   0,   0,   0,   0,   0,   4, 0, 0,   0,   'M', 'I', 'B', '8', 'd', 'n', 'i', 'k',
                         0,   0,   0,   0,   4,   0,   0, 0, 'T', 'K', 'F', 'e', 'M', 'I', 'B', '8', 'e', 'm',
                         'a', 'n', 0,   0,   0,   0,   3, 0, 0,   0,   2,   'F', 'x', 0,   'M', 'I', 'B', '8',
                         'A', 'N', 'M', 'e', 0,   0,   0, 0, 4,   0,   0,   0,   3,   'F', 'x', '!', 'M', 'I',
                         'B', '8', '4', '6', '6', '8', 7, 0, 0,   0,   3,   0,   0,   0,   'E', 'n', 0,   0};
    std::string error;
    const auto pipl = parsePipl(bytes, error);
    ASSERT_TRUE(pipl) << error;
    EXPECT_EQ(pipl->properties[0].vendor, "8BIM");
    EXPECT_EQ(pipl->kind, "eFKT");
    EXPECT_EQ(pipl->name, "Fx");
    EXPECT_EQ(pipl->matchName, "Fx!");
    EXPECT_EQ(pipl->entryPoint, "En");
    EXPECT_EQ(pipl->properties[3].id, 7);
    EXPECT_FALSE(pipl->version.has_value());
}

TEST(PiplParse, RefusesEveryTruncation) {
    const Bytes full = effectList();
    for (std::size_t size = 0; size < full.size(); ++size) {
        const Bytes cut(full.begin(), full.begin() + static_cast<std::ptrdiff_t>(size));
        std::string error;
        EXPECT_FALSE(parsePipl(cut, error)) << size << " bytes accepted";
        EXPECT_FALSE(error.empty()) << size;
    }
    std::string error;
    EXPECT_FALSE(parsePipl(nullptr, 0, error));
    EXPECT_NE(error.find("truncated"), std::string::npos) << error;
    parsePipl(Bytes(full.begin(), full.begin() + 200), error);
    EXPECT_NE(error.find("truncated"), std::string::npos) << error;
}

TEST(PiplParse, RefusesCountsAndLengthsThatDoNotAddUp) {
    struct Case {
        const char* what;
        Bytes bytes;
        const char* mentions;
    };
    std::vector<Case> cases;
    {
        Bytes b = effectList();
        b.insert(b.end(), {0, 0, 0, 0});
        cases.push_back({"bytes after the last property", b, "do not add up"});
    }
    {
        Bytes b = effectList();
        b[kCountAt] = 11;
        cases.push_back({"count one short", b, "do not add up"});
    }
    {
        Bytes b = effectList();
        b[kCountAt] = 13;
        cases.push_back({"count one over", b, "13"});
    }
    {
        Bytes b = effectList();
        b[kCountAt] = b[kCountAt + 1] = b[kCountAt + 2] = b[kCountAt + 3] = 0xFF;
        cases.push_back({"count 2^32-1", b, "4294967295"});
    }
    {
        Bytes b = effectList();
        b[kNameLengthAt] = 0xE8;
        b[kNameLengthAt + 1] = 0x03;
        cases.push_back({"a length past the end", b, "declares 1000 bytes"});
    }
    {
        Bytes b = effectList();
        b[kNameLengthAt] = b[kNameLengthAt + 1] = b[kNameLengthAt + 2] = b[kNameLengthAt + 3] = 0xFF;
        cases.push_back({"a length of 2^32-1", b, "4294967295"});
    }
    {
        Bytes b = effectList();
        b[kNameLengthAt] = 8;  // 12 really: the rest of the list is read out of step
        cases.push_back({"a length too short", b, ""});
    }
    for (const Case& c : cases) {
        std::string error;
        EXPECT_FALSE(parsePipl(c.bytes, error)) << c.what;
        EXPECT_NE(error.find(c.mentions), std::string::npos) << c.what << ": " << error;
    }
}

TEST(PiplParse, RefusesBadHeadersAndValues) {
    struct Case {
        const char* what;
        std::size_t at;
        std::uint8_t byte;
    };
    const Bytes good = effectList();
    const std::size_t kindValueAt = 10 + 16;
    const std::size_t nameValueAt = kNameLengthAt + 4;
    const std::size_t entryValueAt = 10 + 20 + 28 + 24 + 16;  // kind, name, catg, then 8664's head
    for (const Case c :
         {Case{"marker 2", 0, 2}, Case{"list version 1", 2, 1}, Case{"kind not an effect", kindValueAt, 'X'},
          Case{"name length past its value", nameValueAt, 12},
          Case{"entry point without its zero", entryValueAt + 14, 'x'}}) {
        Bytes b = good;
        b[c.at] = c.byte;
        if (std::string(c.what) == "entry point without its zero") b[c.at + 1] = 'y';
        std::string error;
        EXPECT_FALSE(parsePipl(b, error)) << c.what;
        EXPECT_FALSE(error.empty()) << c.what;
    }
}

TEST(PiplParse, RefusesAListWithoutTheRequiredProperties) {
    auto without = [](const char* key) {
        Bytes b;
        put16(b, 1);
        put32(b, 0);
        const char* keys[] = {"kind", "name", "eMNA", "8664"};
        put32(b, 3);
        for (const char* k : keys) {
            if (std::string(k) == key) continue;
            if (std::string(k) == "kind") {
                Bytes kind;
                putCode(kind, "eFKT");
                putProperty(b, k, kind);
            } else if (std::string(k) == "8664") {
                putProperty(b, k, Bytes{'E', 0});
            } else {
                putProperty(b, k, pascal("x"));
            }
        }
        return b;
    };
    for (const char* key : {"kind", "name", "eMNA", "8664"}) {
        std::string error;
        EXPECT_FALSE(parsePipl(without(key), error)) << key;
        EXPECT_NE(error.find(key), std::string::npos) << error;
    }
}

TEST(PiplParse, RefusesAVersionWordOfTheWrongSize) {
    Bytes b;
    put16(b, 1);
    put32(b, 0);
    put32(b, 5);
    Bytes kind;
    putCode(kind, "eFKT");
    putProperty(b, "kind", kind);
    putProperty(b, "name", pascal("x"));
    putProperty(b, "eMNA", pascal("x"));
    putProperty(b, "8664", Bytes{'E', 0});
    putProperty(b, "eVER", Bytes{1, 0});
    std::string error;
    EXPECT_FALSE(parsePipl(b, error));
    EXPECT_NE(error.find("eVER"), std::string::npos) << error;
}

TEST(PiplVersion, DecodesTheVersionWord) {
    const EffectVersion v = decodeEffectVersion(0x00098601);
    EXPECT_EQ(v.major, 1u);
    EXPECT_EQ(v.minor, 3u);
    EXPECT_EQ(v.revision, 0u);
    EXPECT_EQ(v.stage, 3u);
    EXPECT_EQ(v.build, 1u);
    const EffectVersion all = decodeEffectVersion(0x003FFFFF);
    EXPECT_EQ(all.major, 7u);
    EXPECT_EQ(all.minor, 15u);
    EXPECT_EQ(all.revision, 15u);
    EXPECT_EQ(all.stage, 3u);
    EXPECT_EQ(all.build, 511u);
}

}  // namespace
}  // namespace vhost
