// The host reads a Windows module's property list from the file's resource tree, on any platform:
// the "PIPL" resource with id 16000 in language 1033, found among other resources, and a clear
// refusal for every file that is not a 64-bit Windows DLL or does not carry that resource. Damaged
// files (cut short, offsets pointing anywhere) are refused without reading outside the file; the
// sanitizer build proves the "without".
#include "ModuleFile.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

void put16(Bytes& b, std::size_t at, std::uint32_t v) {
    b.at(at) = static_cast<std::uint8_t>(v);
    b.at(at + 1) = static_cast<std::uint8_t>(v >> 8);
}
void put32(Bytes& b, std::size_t at, std::uint32_t v) {
    put16(b, at, v & 0xFFFF);
    put16(b, at + 2, v >> 16);
}
std::uint32_t get32(const Bytes& b, std::size_t at) {
    return b.at(at) | b.at(at + 1) << 8 | b.at(at + 2) << 16 | static_cast<std::uint32_t>(b.at(at + 3)) << 24;
}

// One resource: a type (name or number), a number, a language and the bytes.
struct Resource {
    std::variant<std::string, std::uint32_t> type;
    std::uint32_t id;
    std::uint32_t language;
    Bytes data;
};

// A PE32+ DLL for x86-64 with two sections: ".rsrc" (the resource tree) and ".data" (where the
// resources' bytes go when `dataApart` is set; otherwise they follow the tree). Field offsets are
// kept so tests can damage them one by one.
struct PeImage {
    static constexpr std::size_t kPeAt = 0x80;
    static constexpr std::size_t kCoff = kPeAt + 4;
    static constexpr std::size_t kOptional = kCoff + 20;
    static constexpr std::size_t kOptionalSize = 240;
    static constexpr std::size_t kSections = kOptional + kOptionalSize;
    static constexpr std::size_t kResourceDirectory = kOptional + 112 + 2 * 8;
    static constexpr std::uint32_t kRsrcRva = 0x3000, kRsrcRaw = 0x400;
    static constexpr std::uint32_t kDataRva = 0x8000, kDataRaw = 0x1000;

    Bytes bytes;
    std::size_t rsrcSectionHeader = 0, dataSectionHeader = 0;
    // File offsets inside the tree, for the last resource of type "PIPL" (or the first found).
    std::size_t piplTypeEntry = 0, piplNameString = 0, piplIdDirectory = 0, piplDataEntry = 0;

    static PeImage build(const std::vector<Resource>& resources, bool dataApart = false) {
        PeImage pe;
        Bytes tree = pe.tree(resources, dataApart);
        Bytes& b = pe.bytes;
        b.assign(kRsrcRaw, 0);
        b[0] = 'M';
        b[1] = 'Z';
        put32(b, 0x3C, kPeAt);
        b[kPeAt] = 'P';
        b[kPeAt + 1] = 'E';
        put16(b, kCoff, 0x8664);
        put16(b, kCoff + 2, 2);  // sections
        put16(b, kCoff + 16, kOptionalSize);
        put16(b, kCoff + 18, 0x2022);  // executable image, large addresses, DLL
        put16(b, kOptional, 0x20B);
        put32(b, kOptional + 108, 16);  // data directories
        put32(b, kResourceDirectory, kRsrcRva);
        put32(b, kResourceDirectory + 4, static_cast<std::uint32_t>(pe.treeSize_));
        auto section = [&](std::size_t at, const char* name, std::uint32_t rva, std::uint32_t size,
                           std::uint32_t raw) {
            for (int i = 0; name[i]; ++i) b[at + i] = static_cast<std::uint8_t>(name[i]);
            put32(b, at + 8, size);  // virtual size
            put32(b, at + 12, rva);
            put32(b, at + 16, (size + 0x1FF) & ~0x1FFu);  // raw size, file-aligned
            put32(b, at + 20, raw);
        };
        pe.rsrcSectionHeader = kSections;
        pe.dataSectionHeader = kSections + 40;
        section(pe.rsrcSectionHeader, ".rsrc", kRsrcRva, static_cast<std::uint32_t>(tree.size()), kRsrcRaw);
        section(pe.dataSectionHeader, ".data", kDataRva, static_cast<std::uint32_t>(pe.apart_.size()),
                kDataRaw);
        b.insert(b.end(), tree.begin(), tree.end());
        b.resize(kDataRaw, 0);
        b.insert(b.end(), pe.apart_.begin(), pe.apart_.end());
        b.resize(kDataRaw + ((pe.apart_.size() + 0x1FF) & ~std::size_t{0x1FF}), 0);
        pe.piplTypeEntry += kRsrcRaw;
        pe.piplNameString += kRsrcRaw;
        pe.piplIdDirectory += kRsrcRaw;
        pe.piplDataEntry += kRsrcRaw;
        return pe;
    }

private:
    // Directories first (each followed at once by its subdirectories), then the data entries, the
    // type names and the bytes: the order windres uses.
    Bytes tree(const std::vector<Resource>& resources, bool dataApart) {
        Bytes t;
        struct Pending {
            std::size_t entry;  // where the data entry's address goes
            const Resource* resource;
        };
        std::vector<Pending> leaves;
        std::vector<std::pair<std::size_t, std::string>> names;

        auto directory = [&](std::size_t named, std::size_t numbered) {
            const std::size_t at = t.size();
            t.resize(at + 16 + 8 * (named + numbered), 0);
            put16(t, at + 12, static_cast<std::uint32_t>(named));
            put16(t, at + 14, static_cast<std::uint32_t>(numbered));
            return at;
        };
        std::vector<std::variant<std::string, std::uint32_t>> types;
        for (const Resource& r : resources)
            if (std::find(types.begin(), types.end(), r.type) == types.end()) types.push_back(r.type);
        std::size_t namedTypes = 0;
        for (const auto& type : types) namedTypes += std::holds_alternative<std::string>(type);
        const std::size_t root = directory(namedTypes, types.size() - namedTypes);
        for (std::size_t ti = 0; ti < types.size(); ++ti) {
            const std::size_t entry = root + 16 + 8 * ti;
            const bool isPipl =
                std::holds_alternative<std::string>(types[ti]) &&
                (std::get<std::string>(types[ti]) == "PIPL" || std::get<std::string>(types[ti]) == "pipl");
            if (std::holds_alternative<std::string>(types[ti])) {
                names.emplace_back(entry, std::get<std::string>(types[ti]));
                if (isPipl) piplTypeEntry = entry;
            } else {
                put32(t, entry, std::get<std::uint32_t>(types[ti]));
            }
            std::vector<std::uint32_t> ids;
            for (const Resource& r : resources)
                if (r.type == types[ti] && std::find(ids.begin(), ids.end(), r.id) == ids.end())
                    ids.push_back(r.id);
            const std::size_t idDir = directory(0, ids.size());
            put32(t, entry + 4, 0x80000000u | static_cast<std::uint32_t>(idDir));
            if (isPipl) piplIdDirectory = idDir;
            for (std::size_t ii = 0; ii < ids.size(); ++ii) {
                std::vector<const Resource*> langs;
                for (const Resource& r : resources)
                    if (r.type == types[ti] && r.id == ids[ii]) langs.push_back(&r);
                const std::size_t langDir = directory(0, langs.size());
                put32(t, idDir + 16 + 8 * ii, ids[ii]);
                put32(t, idDir + 16 + 8 * ii + 4, 0x80000000u | static_cast<std::uint32_t>(langDir));
                for (std::size_t li = 0; li < langs.size(); ++li) {
                    put32(t, langDir + 16 + 8 * li, langs[li]->language);
                    leaves.push_back({langDir + 16 + 8 * li + 4, langs[li]});
                }
            }
        }
        std::vector<std::size_t> dataEntries;
        for (const Pending& leaf : leaves) {
            const std::size_t at = t.size();
            t.resize(at + 16, 0);
            put32(t, leaf.entry, static_cast<std::uint32_t>(at));
            dataEntries.push_back(at);
            const auto& type = leaf.resource->type;
            if (std::holds_alternative<std::string>(type) && std::get<std::string>(type) != "ABCD" &&
                leaf.resource->id == 16000 && leaf.resource->language == 1033)
                piplDataEntry = at;
        }
        for (const auto& [entry, name] : names) {
            const std::size_t at = t.size();
            t.resize(at + 2 + 2 * name.size(), 0);
            put16(t, at, static_cast<std::uint32_t>(name.size()));
            for (std::size_t i = 0; i < name.size(); ++i)
                put16(t, at + 2 + 2 * i, static_cast<std::uint8_t>(name[i]));
            put32(t, entry, 0x80000000u | static_cast<std::uint32_t>(at));
            if (entry == piplTypeEntry) piplNameString = at;
        }
        t.resize((t.size() + 3) & ~std::size_t{3}, 0);
        treeSize_ = t.size();
        for (std::size_t i = 0; i < leaves.size(); ++i) {
            Bytes& into = dataApart ? apart_ : t;
            const std::uint32_t base = dataApart ? kDataRva : kRsrcRva;
            put32(t, dataEntries[i], base + static_cast<std::uint32_t>(into.size()));
            put32(t, dataEntries[i] + 4, static_cast<std::uint32_t>(leaves[i].resource->data.size()));
            into.insert(into.end(), leaves[i].resource->data.begin(), leaves[i].resource->data.end());
            into.resize((into.size() + 7) & ~std::size_t{7}, 0);
        }
        if (!dataApart) treeSize_ = t.size();
        return t;
    }

    std::size_t treeSize_ = 0;
    Bytes apart_;
};

Bytes filled(std::size_t n, std::uint8_t seed) {
    Bytes b(n);
    for (std::size_t i = 0; i < n; ++i) b[i] = static_cast<std::uint8_t>(seed + 7 * i);
    return b;
}

std::optional<Bytes> read(const Bytes& image, std::string& error) {
    return vhost::readPiplBytesFromImage(image, "mod.aex", error);
}

::testing::AssertionResult refused(const Bytes& image, const std::string& part) {
    std::string error;
    if (auto got = read(image, error))
        return ::testing::AssertionFailure() << "read " << got->size() << " bytes";
    if (error.find(part) == std::string::npos)
        return ::testing::AssertionFailure() << "message \"" << error << "\" lacks \"" << part << "\"";
    if (error.rfind("mod.aex", 0) != 0)
        return ::testing::AssertionFailure() << "message \"" << error << "\" does not name the file";
    return ::testing::AssertionSuccess();
}

const Bytes kPipl = filled(298, 1);

// A module as windres lays one out, with neighbours of every kind around the property list: a
// numbered type (16, a version resource), another named type, PIPL resources with other ids and
// the property list in two languages.
std::vector<Resource> crowded() {
    return {
        {std::uint32_t{16}, 1, 1033, filled(92, 50)},   {std::string("ABCD"), 16000, 1033, filled(20, 60)},
        {std::string("PIPL"), 1, 1033, filled(40, 70)}, {std::string("PIPL"), 16000, 1031, filled(298, 80)},
        {std::string("PIPL"), 16000, 1033, kPipl},      {std::string("PIPL"), 16001, 1033, filled(12, 90)}};
}

TEST(PeResource, FindsThePiplResourceAmongOthersByTypeIdAndLanguage) {
    for (bool dataApart : {false, true}) {
        SCOPED_TRACE(dataApart ? "bytes in another section" : "bytes after the tree");
        const PeImage pe = PeImage::build(crowded(), dataApart);
        std::string error;
        const auto got = read(pe.bytes, error);
        ASSERT_TRUE(got) << error;
        EXPECT_EQ(*got, kPipl);
    }
    // Alone in its file, too.
    std::string error;
    const auto got = read(PeImage::build({{std::string("PIPL"), 16000, 1033, kPipl}}).bytes, error);
    ASSERT_TRUE(got) << error;
    EXPECT_EQ(*got, kPipl);
}

TEST(PeResource, TypeNamesCompareIgnoringCaseAsWindowsDoes) {
    std::string error;
    const auto got = read(PeImage::build({{std::string("pipl"), 16000, 1033, kPipl}}).bytes, error);
    ASSERT_TRUE(got) << error;
    EXPECT_EQ(*got, kPipl);
    // A longer or shorter name is another type.
    EXPECT_TRUE(refused(PeImage::build({{std::string("PIPLX"), 16000, 1033, kPipl}}).bytes,
                        "no resource of type PIPL"));
    EXPECT_TRUE(refused(PeImage::build({{std::string("PIP"), 16000, 1033, kPipl}}).bytes,
                        "no resource of type PIPL"));
    // A numbered type whose number spells nothing is not a name.
    EXPECT_TRUE(refused(PeImage::build({{std::uint32_t{0x4C504950}, 16000, 1033, kPipl}}).bytes,
                        "no resource of type PIPL"));
}

TEST(PeResource, SaysWhichPartOfThePropertyListResourceIsMissing) {
    EXPECT_TRUE(refused(PeImage::build({{std::uint32_t{16}, 1, 1033, filled(8, 1)}}).bytes,
                        "no resource of type PIPL"));
    EXPECT_TRUE(refused(PeImage::build({{std::string("PIPL"), 1, 1033, kPipl}}).bytes,
                        "no PIPL resource numbered 16000"));
    EXPECT_TRUE(refused(
        PeImage::build({{std::string("PIPL"), 16000, 1031, kPipl}, {std::string("PIPL"), 16000, 0, kPipl}})
            .bytes,
        "PIPL 16000 only in language 1031, 0"));

    PeImage none = PeImage::build({{std::string("PIPL"), 16000, 1033, kPipl}});
    put32(none.bytes, PeImage::kResourceDirectory, 0);
    put32(none.bytes, PeImage::kResourceDirectory + 4, 0);
    EXPECT_TRUE(refused(none.bytes, "no resources at all"));
    // Fewer data directories than the resource directory's index: no resources either.
    PeImage few = PeImage::build({{std::string("PIPL"), 16000, 1033, kPipl}});
    put32(few.bytes, PeImage::kOptional + 108, 2);
    EXPECT_TRUE(refused(few.bytes, "no resources at all"));
}

TEST(PeResource, RefusesWindowsFilesThisHostCannotLoad) {
    const Bytes good = PeImage::build(crowded()).bytes;

    Bytes pe32 = good;
    put16(pe32, PeImage::kOptional, 0x10B);
    EXPECT_TRUE(refused(pe32, "32-bit Windows module"));

    Bytes arm = good;
    put16(arm, PeImage::kCoff, 0xAA64);
    EXPECT_TRUE(refused(arm, "another processor than x86-64"));

    Bytes program = good;
    put16(program, PeImage::kCoff + 18, 0x0022);
    EXPECT_TRUE(refused(program, "not a DLL"));
}

TEST(PeResource, RefusesDamagedHeadersAndTablesAsDamaged) {
    const PeImage pe = PeImage::build(crowded(), true);
    struct Case {
        const char* what;
        std::function<void(Bytes&)> damage;
        const char* says;
    };
    const std::size_t tree = PeImage::kRsrcRaw;
    const Case cases[] = {
        {"no PE signature", [](Bytes& b) { b[PeImage::kPeAt] = 'X'; }, "no PE header"},
        {"PE header beyond the file", [](Bytes& b) { put32(b, 0x3C, 0xFFFFFFF0u); }, "no PE header"},
        {"unknown optional header", [](Bytes& b) { put16(b, PeImage::kOptional, 0x30B); },
         "unknown optional header kind"},
        {"optional header too small", [](Bytes& b) { put16(b, PeImage::kCoff + 16, 100); },
         "optional header cut short"},
        {"directory count beyond the header", [](Bytes& b) { put32(b, PeImage::kOptional + 108, 17); },
         "more data directories"},
        {"section table beyond the file", [](Bytes& b) { put16(b, PeImage::kCoff + 2, 0xFFFF); },
         "section table outside the file"},
        {"resource tree outside every section",
         [](Bytes& b) { put32(b, PeImage::kResourceDirectory, 0x100000); },
         "resource directory outside the file"},
        {"resource tree longer than its section",
         [](Bytes& b) { put32(b, PeImage::kResourceDirectory + 4, 0x10000); },
         "resource directory outside the file"},
        {"section raw data beyond the file",
         [&](Bytes& b) { put32(b, pe.rsrcSectionHeader + 20, 0x7FFFFF00u); },
         "resource directory outside the file"},
        {"entry counts beyond the tree", [&](Bytes& b) { put16(b, tree + 12, 0x4000); },
         "resource entries outside"},
        {"type name beyond the tree",
         [&](Bytes& b) { put32(b, pe.piplTypeEntry, 0x80000000u | 0x7FFF0000u); }, "resource name outside"},
        {"type name length beyond the tree", [&](Bytes& b) { put16(b, pe.piplNameString, 0xFFFF); },
         "resource name outside"},
        {"type subdirectory beyond the tree",
         [&](Bytes& b) { put32(b, pe.piplTypeEntry + 4, 0x80000000u | 0x00FFFFF0u); },
         "resource directory outside"},
        {"type entry is a leaf", [&](Bytes& b) { put32(b, pe.piplTypeEntry + 4, 0x10); }, "not a directory"},
        {"data entry beyond the tree",
         [&](Bytes& b) {
             // The language entry of 16000/1033 points at the data entry: move it out.
             for (std::size_t at = tree; at + 8 <= b.size(); at += 4)
                 if (get32(b, at) == pe.piplDataEntry - tree && get32(b, at - 4) == 1033) {
                     put32(b, at, 0x7FFFFFF0u);
                     return;
                 }
             FAIL() << "no language entry found";
         },
         "data entry is outside"},
        {"data outside every section", [&](Bytes& b) { put32(b, pe.piplDataEntry, 0x90000000u); },
         "bytes are outside the file"},
        {"data longer than its section", [&](Bytes& b) { put32(b, pe.piplDataEntry + 4, 0x00100000u); },
         "bytes are outside the file"},
        {"data running past the section's file bytes",
         [&](Bytes& b) { put32(b, pe.dataSectionHeader + 16, 0x100); }, "bytes are outside the file"},
        {"data size near the 32-bit limit", [&](Bytes& b) { put32(b, pe.piplDataEntry + 4, 0xFFFFFFFFu); },
         "bytes are outside the file"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Bytes b = pe.bytes;
        c.damage(b);
        EXPECT_TRUE(refused(b, "damaged Windows module"));
        EXPECT_TRUE(refused(b, c.says));
    }
}

// Every cut of a good file, and every single byte of its headers and tree set to each of a few
// values, gives either the property list or a refusal: never a read outside the image.
TEST(PeResource, CutOrScribbledFilesNeverReadOutsideTheImage) {
    const PeImage pe = PeImage::build(crowded());
    std::size_t refusals = 0, found = 0;
    for (std::size_t n = 0; n < PeImage::kRsrcRaw + 0x400; ++n) {
        Bytes cut(pe.bytes.begin(), pe.bytes.begin() + static_cast<std::ptrdiff_t>(n));
        std::string error;
        if (read(cut, error))
            ++found;
        else {
            ++refusals;
            EXPECT_FALSE(error.empty());
        }
    }
    EXPECT_GT(refusals, 0u);
    for (std::size_t at = 0; at < PeImage::kRsrcRaw + 0x200; ++at) {
        for (std::uint8_t v : {0x00, 0x01, 0x7F, 0x80, 0xFF}) {
            Bytes b = pe.bytes;
            b[at] = v;
            std::string error;
            if (auto got = read(b, error)) {
                ++found;
                // Whatever a scribbled tree points at, it is bytes of the file.
                EXPECT_NE(std::search(b.begin(), b.end(), got->begin(), got->end()), b.end())
                    << "byte " << at << " = " << int(v);
            } else {
                EXPECT_FALSE(error.empty());
            }
        }
    }
    EXPECT_GT(found, 0u);  // scribbles in unused header bytes leave the list readable
}

}  // namespace
