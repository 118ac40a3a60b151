// Finds the property list inside a module file by reading the file's own structure, so that no
// code of the module runs before the host has seen what the module says it is.
#include "ModuleFile.h"

#include "ByteReader.h"
#include "ResourceFile.h"

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>
#include <system_error>

namespace vhost {

namespace {

// ---- ELF --------------------------------------------------------------------------------
// Only what locating a section by name needs: the file header's section-table fields and each
// section header's name, type, offset and size. Both byte orders are read explicitly, so the
// reader does not depend on the machine it runs on.

constexpr std::uint8_t kElfClass64 = 2;
constexpr std::uint8_t kElfDataLittle = 1;
constexpr std::uint8_t kElfDataBig = 2;
constexpr std::uint16_t kElfTypeShared = 3;            // ET_DYN
constexpr std::uint32_t kSectionNoBits = 8;            // SHT_NOBITS: occupies no file space
constexpr std::uint16_t kSectionIndexEscape = 0xFFFF;  // SHN_XINDEX
constexpr std::size_t kElf64HeaderSize = 64;
constexpr std::size_t kElf64SectionHeaderSize = 64;

struct Section {
    std::uint32_t name, type;
    std::uint64_t offset, size;
    std::uint32_t link;
};

std::optional<std::vector<std::uint8_t>> piplFromElf(const std::vector<std::uint8_t>& image,
                                                     const std::string& what, std::string& error) {
    if (image.size() < kElf64HeaderSize || image[4] != kElfClass64) {
        error = what + " is an ELF file but not a 64-bit one, so it is not a module this host loads";
        return std::nullopt;
    }
    if (image[5] != kElfDataLittle && image[5] != kElfDataBig) {
        error = what + " is a damaged ELF file (unknown byte order)";
        return std::nullopt;
    }
    const ByteReader elf(image, image[5] == kElfDataBig ? ByteReader::Order::Big : ByteReader::Order::Little);
    if (elf.read(16, 2) != kElfTypeShared) {
        error = what + " is an ELF file but not a shared library, so it is not an effect module";
        return std::nullopt;
    }
    const std::uint64_t shoff = elf.read(40, 8);
    const std::uint64_t shentsize = elf.read(58, 2);
    std::uint64_t shnum = elf.read(60, 2);
    std::uint64_t shstrndx = elf.read(62, 2);

    auto damaged = [&](const std::string& why) {
        error = what + " is a damaged ELF file (" + why + ")";
        return std::nullopt;
    };
    if (shoff == 0) {
        error = what + " has no section table, so it carries no .pipl section (no property list)";
        return std::nullopt;
    }
    if (shentsize != kElf64SectionHeaderSize) return damaged("unexpected section header size");
    if (!elf.fits(shoff, kElf64SectionHeaderSize)) return damaged("section table outside the file");

    auto section = [&](std::uint64_t index) {
        const std::uint64_t at = shoff + index * kElf64SectionHeaderSize;
        return Section{static_cast<std::uint32_t>(elf.read(at, 4)),
                       static_cast<std::uint32_t>(elf.read(at + 4, 4)), elf.read(at + 24, 8),
                       elf.read(at + 32, 8), static_cast<std::uint32_t>(elf.read(at + 40, 4))};
    };
    // Many sections: the real count and the name-table index move into section 0.
    if (shnum == 0) shnum = section(0).size;
    if (shstrndx == kSectionIndexEscape) shstrndx = section(0).link;
    if (shnum > (image.size() - shoff) / kElf64SectionHeaderSize)
        return damaged("section table outside the file");
    if (shstrndx >= shnum) return damaged("section name table index out of range");

    const Section names = section(shstrndx);
    if (names.type == kSectionNoBits || !elf.fits(names.offset, names.size))
        return damaged("section name table outside the file");

    const std::size_t wantedLength = std::strlen(kPiplSectionName);
    for (std::uint64_t i = 1; i < shnum; ++i) {
        const Section s = section(i);
        if (s.name >= names.size) return damaged("section name outside the name table");
        const std::uint64_t nameAt = names.offset + s.name;
        // The name must end inside the table, right after ".pipl".
        if (names.size - s.name < wantedLength + 1) continue;
        if (std::memcmp(image.data() + nameAt, kPiplSectionName, wantedLength) != 0 ||
            image[static_cast<std::size_t>(nameAt + wantedLength)] != 0)
            continue;
        if (s.type == kSectionNoBits) {
            error = what + " has a .pipl section that holds no bytes";
            return std::nullopt;
        }
        if (!elf.fits(s.offset, s.size)) return damaged(".pipl section outside the file");
        return std::vector<std::uint8_t>(image.begin() + static_cast<std::ptrdiff_t>(s.offset),
                                         image.begin() + static_cast<std::ptrdiff_t>(s.offset + s.size));
    }
    error = what + " has no .pipl section, so it carries no property list";
    return std::nullopt;
}

// ---- PE (Windows modules) ----------------------------------------------------------------
// A Windows module keeps its property list as a resource: type "PIPL" (a name), id 16000,
// language 1033. The resource tree is read straight from the file (three levels: type, name,
// language; then a data entry whose address is relative to the loaded image), so the same reader
// works on any platform and never runs the module. Every offset is checked against the file.

constexpr std::uint32_t kPeSignature = 0x00004550;  // "PE\0\0"
constexpr std::uint16_t kPeMagic64 = 0x20B;         // PE32+
constexpr std::uint16_t kPeMagic32 = 0x10B;         // PE32
constexpr std::uint16_t kPeMachineX64 = 0x8664;
constexpr std::uint16_t kPeFileDll = 0x2000;  // IMAGE_FILE_DLL
constexpr std::size_t kPeCoffHeaderSize = 20;
constexpr std::size_t kPeSectionHeaderSize = 40;
constexpr std::size_t kPe64DirectoryCountAt = 108;  // within the optional header
constexpr std::size_t kPe64DirectoriesAt = 112;
constexpr std::uint32_t kPeResourceDirectory = 2;
constexpr std::uint32_t kResourceHighBit = 0x80000000u;
constexpr std::size_t kResourceDirectorySize = 16;
constexpr std::size_t kResourceEntrySize = 8;
constexpr std::size_t kResourceDataEntrySize = 16;

struct PeSection {
    std::uint32_t virtualAddress, virtualSize, rawSize, rawOffset;
};

// File offset of `length` bytes at image address `rva`, when a section holds all of them in the
// file (bytes a section has only in memory are zeros the file does not carry).
std::optional<std::uint64_t> rvaToOffset(const std::vector<PeSection>& sections, const ByteReader& pe,
                                         std::uint32_t rva, std::uint32_t length) {
    for (const PeSection& s : sections) {
        // A zero virtual size means the raw size (as loaders read it).
        const std::uint64_t span = s.virtualSize ? s.virtualSize : s.rawSize;
        if (rva < s.virtualAddress || rva - s.virtualAddress >= span) continue;
        const std::uint64_t into = rva - s.virtualAddress;
        const std::uint64_t inFile = std::min<std::uint64_t>(s.rawSize, span);
        if (into + length > inFile) return std::nullopt;
        const std::uint64_t offset = std::uint64_t{s.rawOffset} + into;
        if (!pe.fits(offset, length)) return std::nullopt;
        return offset;
    }
    return std::nullopt;
}

std::nullopt_t peDamaged(const std::string& what, const std::string& why, std::string& error) {
    error = what + " is a damaged Windows module (" + why + ")";
    return std::nullopt;
}

// What the reader needs of a Windows module's headers: its sections, and where the resource tree
// lies in the loaded image (address and size 0 when the module has none).
struct PeLayout {
    std::vector<PeSection> sections;
    std::uint32_t resourceRva = 0, resourceSize = 0;
};

// Reads the headers of a 64-bit x86-64 DLL; anything else is refused with `error` saying what the
// file is instead.
std::optional<PeLayout> readPeLayout(const ByteReader& pe, const std::string& what, std::string& error) {
    if (!pe.fits(0, 0x40)) return peDamaged(what, "shorter than its DOS header", error);
    const std::uint64_t peAt = pe.u32(0x3C);
    if (!pe.fits(peAt, 4 + kPeCoffHeaderSize) || pe.u32(peAt) != kPeSignature)
        return peDamaged(what, "no PE header", error);
    const std::uint64_t coff = peAt + 4;
    const std::uint32_t machine = pe.u16(coff);
    const std::uint32_t sectionCount = pe.u16(coff + 2);
    const std::uint32_t optionalSize = pe.u16(coff + 16);
    const std::uint32_t characteristics = pe.u16(coff + 18);
    const std::uint64_t optional = coff + kPeCoffHeaderSize;
    if (!pe.fits(optional, 2) || optionalSize < 2) return peDamaged(what, "no optional header", error);
    const std::uint32_t magic = pe.u16(optional);
    if (magic == kPeMagic32) {
        error = what + " is a 32-bit Windows module, so it is not a module this host loads";
        return std::nullopt;
    }
    if (magic != kPeMagic64) return peDamaged(what, "unknown optional header kind", error);
    if (machine != kPeMachineX64) {
        error = what +
                " is a Windows module for another processor than x86-64, so it is not a "
                "module this host loads";
        return std::nullopt;
    }
    if (!(characteristics & kPeFileDll)) {
        error = what + " is a Windows program, not a DLL, so it is not an effect module";
        return std::nullopt;
    }
    if (optionalSize < kPe64DirectoriesAt || !pe.fits(optional, optionalSize))
        return peDamaged(what, "optional header cut short", error);
    const std::uint32_t directoryCount = pe.u32(optional + kPe64DirectoryCountAt);
    if (directoryCount > (optionalSize - kPe64DirectoriesAt) / 8)
        return peDamaged(what, "more data directories than the optional header holds", error);

    PeLayout layout;
    const std::uint64_t sectionTable = optional + optionalSize;
    if (!pe.fits(sectionTable, std::uint64_t{sectionCount} * kPeSectionHeaderSize))
        return peDamaged(what, "section table outside the file", error);
    for (std::uint32_t i = 0; i < sectionCount; ++i) {
        const std::uint64_t at = sectionTable + std::uint64_t{i} * kPeSectionHeaderSize;
        layout.sections.push_back({pe.u32(at + 12), pe.u32(at + 8), pe.u32(at + 16), pe.u32(at + 20)});
    }
    if (directoryCount > kPeResourceDirectory) {
        const std::uint64_t entry = optional + kPe64DirectoriesAt + 8 * kPeResourceDirectory;
        layout.resourceRva = pe.u32(entry);
        layout.resourceSize = pe.u32(entry + 4);
    }
    return layout;
}

// A module's resource tree: directories of entries keyed by a name or a number, three levels deep
// (type, name, language), then a data entry. Offsets inside the tree are relative to its root and
// must stay inside the resource data.
class ResourceTree {
public:
    struct Entry {
        std::uint32_t target;
        bool directory;
    };
    enum class Lookup { Found, Missing, Damaged };

    ResourceTree(const ByteReader& pe, std::uint64_t root, std::uint32_t size)
        : pe_(pe), root_(root), size_(size) {}

    bool inTree(std::uint64_t offset, std::uint64_t length) const { return within(offset, length, size_); }
    std::uint32_t u32(std::uint64_t offset) const { return pe_.u32(root_ + offset); }

    // One level: the entry keyed by `name` when one is given, else by `id`. Names are compared as
    // Windows compares resource names, ignoring ASCII case. `idsSeen` collects the numbered keys
    // looked at. On Damaged, why() says what is wrong.
    Lookup find(std::uint32_t directory, const std::string* name, std::uint32_t id, Entry& found,
                std::vector<std::uint32_t>* idsSeen) {
        if (!inTree(directory, kResourceDirectorySize))
            return damaged("resource directory outside the resource data");
        const std::uint64_t named = pe_.u16(root_ + directory + 12);
        const std::uint64_t numbered = pe_.u16(root_ + directory + 14);
        const std::uint64_t entries = directory + kResourceDirectorySize;
        if (!inTree(entries, (named + numbered) * kResourceEntrySize))
            return damaged("resource entries outside the resource data");
        for (std::uint64_t i = 0; i < named + numbered; ++i) {
            const std::uint64_t entry = entries + i * kResourceEntrySize;
            const std::uint32_t key = u32(entry);
            const std::uint32_t target = u32(entry + 4);
            bool match = false;
            if (key & kResourceHighBit) {
                if (!name) continue;
                if (!nameMatches(key & ~kResourceHighBit, *name, match))
                    return damaged("resource name outside the resource data");
            } else {
                if (idsSeen) idsSeen->push_back(key);
                match = !name && key == id;
            }
            if (match) {
                found = {target & ~kResourceHighBit, (target & kResourceHighBit) != 0};
                return Lookup::Found;
            }
        }
        return Lookup::Missing;
    }

    const std::string& why() const { return why_; }

private:
    Lookup damaged(const char* why) {
        why_ = why;
        return Lookup::Damaged;
    }

    // Sets `match` to whether the counted UTF-16 string at `at` is `name`; false when the string
    // does not lie inside the tree.
    bool nameMatches(std::uint32_t at, const std::string& name, bool& match) const {
        if (!inTree(at, 2)) return false;
        const std::uint32_t length = pe_.u16(root_ + at);
        if (!inTree(std::uint64_t{at} + 2, std::uint64_t{length} * 2)) return false;
        match = length == name.size();
        for (std::uint32_t c = 0; match && c < length; ++c) {
            std::uint32_t ch = pe_.u16(root_ + at + 2 + 2 * c);
            if (ch >= 'a' && ch <= 'z') ch -= 'a' - 'A';
            match = ch == static_cast<std::uint8_t>(name[c]);
        }
        return true;
    }

    const ByteReader& pe_;
    std::uint64_t root_;
    std::uint32_t size_;
    std::string why_;
};

std::optional<std::vector<std::uint8_t>> piplFromPe(const std::vector<std::uint8_t>& image,
                                                    const std::string& what, std::string& error) {
    const ByteReader pe(image, ByteReader::Order::Little);
    const auto layout = readPeLayout(pe, what, error);
    if (!layout) return std::nullopt;
    auto noPipl = [&](const std::string& why) {
        error = what + " has no PIPL resource with id 16000 in language 1033 (" + why +
                "), so it carries no property list";
        return std::nullopt;
    };
    if (layout->resourceRva == 0 || layout->resourceSize == 0) return noPipl("it has no resources at all");
    const auto rootAt = rvaToOffset(layout->sections, pe, layout->resourceRva, layout->resourceSize);
    if (!rootAt) return peDamaged(what, "resource directory outside the file", error);
    ResourceTree tree(pe, *rootAt, layout->resourceSize);

    using Lookup = ResourceTree::Lookup;
    const std::string typeName = "PIPL";
    ResourceTree::Entry type{}, item{}, language{};
    switch (tree.find(0, &typeName, 0, type, nullptr)) {
        case Lookup::Damaged: return peDamaged(what, tree.why(), error);
        case Lookup::Missing: return noPipl("no resource of type PIPL");
        case Lookup::Found: break;
    }
    if (!type.directory) return peDamaged(what, "the PIPL type entry is not a directory", error);
    switch (tree.find(type.target, nullptr, kPiplResourceId, item, nullptr)) {
        case Lookup::Damaged: return peDamaged(what, tree.why(), error);
        case Lookup::Missing: return noPipl("no PIPL resource numbered 16000");
        case Lookup::Found: break;
    }
    if (!item.directory) return peDamaged(what, "the PIPL 16000 entry is not a directory", error);
    std::vector<std::uint32_t> languages;
    switch (tree.find(item.target, nullptr, kPiplResourceLanguage, language, &languages)) {
        case Lookup::Damaged: return peDamaged(what, tree.why(), error);
        case Lookup::Missing: {
            std::string list;
            for (std::uint32_t l : languages) list += (list.empty() ? "" : ", ") + std::to_string(l);
            return noPipl(list.empty() ? "PIPL 16000 in no language" : "PIPL 16000 only in language " + list);
        }
        case Lookup::Found: break;
    }
    if (language.directory || !tree.inTree(language.target, kResourceDataEntrySize))
        return peDamaged(what, "the PIPL resource's data entry is outside the resource data", error);
    const std::uint32_t dataRva = tree.u32(language.target);
    const std::uint32_t dataSize = tree.u32(language.target + 4);
    const auto dataAt = rvaToOffset(layout->sections, pe, dataRva, dataSize);
    if (!dataAt) return peDamaged(what, "the PIPL resource's bytes are outside the file", error);
    return std::vector<std::uint8_t>(image.begin() + static_cast<std::ptrdiff_t>(*dataAt),
                                     image.begin() + static_cast<std::ptrdiff_t>(*dataAt + dataSize));
}

// What a path that is not a regular file names, in the words of a refusal.
std::string kindOf(std::filesystem::file_type type) {
    switch (type) {
        case std::filesystem::file_type::directory: return "a folder";
        case std::filesystem::file_type::fifo: return "a pipe (FIFO)";
        case std::filesystem::file_type::socket: return "a socket";
        case std::filesystem::file_type::character: return "a character device";
        case std::filesystem::file_type::block: return "a block device";
        default: return "something other than a file";
    }
}

// A module file is read whole, so only a regular file of a module's size is read at all: a device
// (/dev/zero) would be read until memory ran out, a pipe would block, and a huge file is no module.
std::optional<std::vector<std::uint8_t>> readWholeFile(const std::filesystem::path& file,
                                                       const std::string& what, std::string& error) {
    std::error_code ec;
    const auto status = std::filesystem::status(file, ec);  // follows symbolic links
    if (status.type() != std::filesystem::file_type::regular) {
        error = what + " is " + kindOf(status.type()) + ", not an effect module file";
        return std::nullopt;
    }
    const std::uintmax_t size = std::filesystem::file_size(file, ec);
    if (ec) {
        error = what + ": cannot be read (" + ec.message() + ")";
        return std::nullopt;
    }
    if (size > kMaxModuleFileBytes) {
        error = what + " is " + std::to_string(size >> 20) +
                " MB, larger than any effect module (the limit is " +
                std::to_string(kMaxModuleFileBytes >> 20) + " MB)";
        return std::nullopt;
    }
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        error = what + ": cannot be read";
        return std::nullopt;
    }
    // No more than the limit even if the file grows while it is read.
    std::vector<std::uint8_t> image(
        static_cast<std::size_t>(std::min<std::uintmax_t>(size, kMaxModuleFileBytes)));
    in.read(reinterpret_cast<char*>(image.data()), static_cast<std::streamsize>(image.size()));
    if (in.bad()) {
        error = what + ": read error";
        return std::nullopt;
    }
    image.resize(static_cast<std::size_t>(in.gcount()));
    return image;
}

}  // namespace

std::optional<std::vector<std::uint8_t>> readPiplBytesFromImage(const std::vector<std::uint8_t>& image,
                                                                const std::string& what, std::string& error) {
    static constexpr std::uint8_t elfMagic[4] = {0x7F, 'E', 'L', 'F'};
    if (image.size() >= 4 && std::memcmp(image.data(), elfMagic, 4) == 0)
        return piplFromElf(image, what, error);
    if (image.size() >= 2 && image[0] == 'M' && image[1] == 'Z') return piplFromPe(image, what, error);
    error = what + " is not an effect module (neither an ELF shared library nor a Windows module)";
    return std::nullopt;
}

std::optional<std::vector<std::uint8_t>> readPiplBytes(const std::filesystem::path& file,
                                                       std::string& error) {
    const std::string what = file.string();
    std::error_code ec;
    const auto status = std::filesystem::status(file, ec);
    if (!std::filesystem::exists(status)) {
        error = what + ": no such file";
        return std::nullopt;
    }
    if (std::filesystem::is_directory(status)) {
        error = file.extension() == ".plugin"
                    ? what + " is a macOS bundle, whose Mach-O code this host cannot load"
                    : what + " is a folder, not an effect module";
        return std::nullopt;
    }
    auto image = readWholeFile(file, what, error);
    if (!image) return std::nullopt;
    return readPiplBytesFromImage(*image, what, error);
}

std::optional<std::vector<std::uint8_t>> readBundlePiplBytes(const std::filesystem::path& bundle,
                                                             std::string& error) {
    const std::string what = bundle.string();
    std::error_code ec;
    if (!std::filesystem::exists(bundle, ec)) {
        error = what + ": no such bundle";
        return std::nullopt;
    }
    if (!std::filesystem::is_directory(bundle, ec)) {
        error = what + " is a file, not a macOS bundle folder";
        return std::nullopt;
    }
    const std::filesystem::path resources = bundle / "Contents" / "Resources";
    std::vector<std::filesystem::path> files;
    for (std::filesystem::directory_iterator it(resources, ec), end; !ec && it != end; it.increment(ec))
        if (it->path().extension() == ".rsrc" && it->is_regular_file(ec)) files.push_back(it->path());
    if (files.empty()) {
        error = what + " is not a macOS effect bundle: it has no Contents/Resources/*.rsrc";
        return std::nullopt;
    }
    std::sort(files.begin(), files.end());
    for (const std::filesystem::path& file : files) {
        auto image = readWholeFile(file, file.string(), error);
        if (!image) return std::nullopt;
        auto resources = readResourceFile(*image, file.string(), error);
        if (!resources) return std::nullopt;
        for (MacResource& r : *resources)
            if (r.type == kPiplMacResourceType && r.id == static_cast<std::int16_t>(kPiplResourceId))
                return std::move(r.data);
    }
    error = what +
            " has no resource 'PiPL' 16000 in Contents/Resources, so it carries no "
            "property list";
    return std::nullopt;
}

}  // namespace vhost
