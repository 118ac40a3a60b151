#include "DeclaredSize.h"

#include <cstdint>
#include <fstream>

namespace vblind {

namespace {

// Deflate, PNG's only compression, expands at most 1032-fold; a little slack for the stream's frame.
constexpr std::uint64_t kMostDeflateExpansion = 1032;
constexpr std::uint64_t kSlack = 1024;

std::uint32_t bigEndian(const unsigned char* b) {
    return (std::uint32_t{b[0]} << 24) | (std::uint32_t{b[1]} << 16) | (std::uint32_t{b[2]} << 8) | b[3];
}

}  // namespace

std::optional<std::string> pngTooShortForItsSize(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    unsigned char signature[8];
    if (!file.read(reinterpret_cast<char*>(signature), 8) || signature[1] != 'P' || signature[2] != 'N')
        return std::nullopt;
    std::uint64_t raw = 0, compressed = 0;
    unsigned char head[8];
    while (file.read(reinterpret_cast<char*>(head), 8)) {
        const std::uint32_t length = bigEndian(head);
        const std::string type(reinterpret_cast<const char*>(head + 4), 4);
        if (type == "IHDR" && length >= 13) {
            unsigned char ihdr[13];
            if (!file.read(reinterpret_cast<char*>(ihdr), 13)) return std::nullopt;
            const std::uint64_t width = bigEndian(ihdr), height = bigEndian(ihdr + 4);
            const unsigned bits = ihdr[8], colourType = ihdr[9];
            const unsigned samples = colourType == 2 ? 3 : colourType == 4 ? 2 : colourType == 6 ? 4 : 1;
            raw = height * (1 + (width * samples * bits + 7) / 8);  // each row: filter byte and samples
            file.seekg(static_cast<std::streamoff>(length) - 13 + 4, std::ios::cur);
            continue;
        }
        if (type == "IDAT") compressed += length;
        if (type == "IEND") break;
        file.seekg(static_cast<std::streamoff>(length) + 4, std::ios::cur);
    }
    if (raw == 0 || raw <= compressed * kMostDeflateExpansion + kSlack) return std::nullopt;
    return "its " + std::to_string(compressed) +
           " bytes of compressed pixels cannot hold the picture its header declares";
}

}  // namespace vblind
