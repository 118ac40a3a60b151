// Finds the property list inside a module file by reading the file's own structure, so that no
// code of the module runs before the host has seen what the module says it is.
#include "ModuleFile.h"

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
constexpr std::uint16_t kElfTypeShared = 3;   // ET_DYN
constexpr std::uint32_t kSectionNoBits = 8;   // SHT_NOBITS: occupies no file space
constexpr std::uint16_t kSectionIndexEscape = 0xFFFF;  // SHN_XINDEX
constexpr std::size_t kElf64HeaderSize = 64;
constexpr std::size_t kElf64SectionHeaderSize = 64;

class ElfReader {
public:
    ElfReader(const std::vector<std::uint8_t>& image, bool bigEndian)
        : image_(image), big_(bigEndian) {}

    bool fits(std::uint64_t offset, std::uint64_t length) const {
        return offset <= image_.size() && length <= image_.size() - offset;
    }
    std::uint64_t read(std::uint64_t offset, int bytes) const {
        std::uint64_t v = 0;
        for (int i = 0; i < bytes; ++i) {
            const std::uint64_t b = image_[static_cast<std::size_t>(offset) + i];
            v |= big_ ? b << (8 * (bytes - 1 - i)) : b << (8 * i);
        }
        return v;
    }

private:
    const std::vector<std::uint8_t>& image_;
    bool big_;
};

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
    const ElfReader elf(image, image[5] == kElfDataBig);
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
// A Windows module keeps its property list as a resource of type "PIPL", id 16000. Reading it
// means walking the PE resource directory; until the Windows build needs it, such a file is
// refused with a clear message here, and only here.
std::optional<std::vector<std::uint8_t>> piplFromPe(const std::vector<std::uint8_t>&,
                                                    const std::string& what, std::string& error) {
    error = what + " is a Windows module; reading its PIPL resource is not supported by this host yet";
    return std::nullopt;
}

}  // namespace

std::optional<std::vector<std::uint8_t>> readPiplBytesFromImage(const std::vector<std::uint8_t>& image,
                                                                const std::string& what,
                                                                std::string& error) {
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
        error = what + " is a folder, not an effect module";
        return std::nullopt;
    }
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        error = what + ": cannot be read";
        return std::nullopt;
    }
    std::vector<std::uint8_t> image((std::istreambuf_iterator<char>(in)),
                                    std::istreambuf_iterator<char>());
    if (in.bad()) {
        error = what + ": read error";
        return std::nullopt;
    }
    return readPiplBytesFromImage(image, what, error);
}

}  // namespace vhost
