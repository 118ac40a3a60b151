#include "ResourceFile.h"

#include "ByteReader.h"

namespace vhost {

namespace {

constexpr std::size_t kHeaderSize = 16;
constexpr std::size_t kMapHeadSize = 28;  // header copy, next map, file ref, attributes, offsets
constexpr std::size_t kTypeEntrySize = 8;
constexpr std::size_t kReferenceSize = 12;
constexpr std::uint16_t kNoName = 0xFFFF;

std::string printable(const std::uint8_t* p) {
    std::string s;
    for (int i = 0; i < 4; ++i) s += (p[i] >= 0x20 && p[i] < 0x7f) ? static_cast<char>(p[i]) : '?';
    return s;
}

}  // namespace

std::optional<std::vector<MacResource>> readResourceFile(const std::vector<std::uint8_t>& image,
                                                         const std::string& what, std::string& error) {
    auto damaged = [&](const std::string& why) {
        error = what + " is a damaged resource file (" + why + ")";
        return std::nullopt;
    };
    const ByteReader be(image, ByteReader::Order::Big);
    const std::uint64_t size = image.size();
    if (size < kHeaderSize) return damaged("shorter than its 16-byte header");
    const std::uint64_t dataAt = be.u32(0), mapAt = be.u32(4);
    const std::uint64_t dataLength = be.u32(8), mapLength = be.u32(12);
    if (!within(dataAt, dataLength, size)) return damaged("resource data outside the file");
    if (!within(mapAt, mapLength, size)) return damaged("resource map outside the file");
    if (mapLength < kMapHeadSize + 2) return damaged("resource map shorter than its header");

    const std::uint64_t typeListOffset = be.u16(mapAt + 24);
    if (!within(typeListOffset, 2, mapLength)) return damaged("type list outside the map");
    const std::uint64_t typeList = mapAt + typeListOffset;
    // The count is stored minus one; 0xFFFF stands for an empty list.
    const std::uint64_t typeCount = (be.u16(typeList) + 1) & 0xFFFF;
    if (!within(typeListOffset + 2, typeCount * kTypeEntrySize, mapLength))
        return damaged("type entries outside the map");

    std::vector<MacResource> resources;
    for (std::uint64_t t = 0; t < typeCount; ++t) {
        const std::uint64_t entry = typeList + 2 + t * kTypeEntrySize;
        const std::string type = printable(image.data() + entry);
        const std::uint64_t count = std::uint64_t{be.u16(entry + 4)} + 1;
        const std::uint64_t refsOffset = typeListOffset + be.u16(entry + 6);
        if (!within(refsOffset, count * kReferenceSize, mapLength))
            return damaged("references of type '" + type + "' outside the map");
        for (std::uint64_t r = 0; r < count; ++r) {
            const std::uint64_t ref = mapAt + refsOffset + r * kReferenceSize;
            MacResource res;
            res.type = type;
            res.id = static_cast<std::int16_t>(be.u16(ref));
            const std::uint32_t nameOffset = be.u16(ref + 2);
            const std::uint64_t namesOffset = be.u16(mapAt + 26);
            if (nameOffset != kNoName && !within(namesOffset + nameOffset, 1, mapLength))
                return damaged("name of '" + type + "' " + std::to_string(res.id) + " outside the map");
            res.attributes = static_cast<std::uint8_t>(be.u8(ref + 4));
            const std::uint64_t at = be.u24(ref + 5);
            const std::string which = "'" + type + "' " + std::to_string(res.id);
            if (!within(at, 4, dataLength)) return damaged("data of " + which + " outside the data");
            const std::uint64_t length = be.u32(dataAt + at);
            if (!within(at + 4, length, dataLength))
                return damaged(which + " declares " + std::to_string(length) +
                               " bytes, more than the data holds");
            const auto from = image.begin() + static_cast<std::ptrdiff_t>(dataAt + at + 4);
            res.data.assign(from, from + static_cast<std::ptrdiff_t>(length));
            resources.push_back(std::move(res));
        }
    }
    return resources;
}

}  // namespace vhost
