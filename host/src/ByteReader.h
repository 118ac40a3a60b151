// Whole numbers read from a file image at explicit offsets in one byte order, so that the readers
// of module files (ELF, PE, macOS resource files) do not depend on the machine they run on, and the
// bounds check they all make before reading.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace vhost {

// Whether `length` bytes at `offset` lie inside a region of `size` bytes (no sum that can overflow).
constexpr bool within(std::uint64_t offset, std::uint64_t length, std::uint64_t size) {
    return offset <= size && length <= size - offset;
}

class ByteReader {
public:
    enum class Order { Little, Big };

    ByteReader(const std::vector<std::uint8_t>& image, Order order)
        : image_(image), big_(order == Order::Big) {}

    bool fits(std::uint64_t offset, std::uint64_t length) const {
        return within(offset, length, image_.size());
    }
    // `bytes` bytes at `offset`, which the caller has checked with fits().
    std::uint64_t read(std::uint64_t offset, int bytes) const {
        std::uint64_t v = 0;
        for (int i = 0; i < bytes; ++i) {
            const std::uint64_t b = image_[static_cast<std::size_t>(offset) + i];
            v |= big_ ? b << (8 * (bytes - 1 - i)) : b << (8 * i);
        }
        return v;
    }
    std::uint32_t u8(std::uint64_t offset) const { return image_[static_cast<std::size_t>(offset)]; }
    std::uint32_t u16(std::uint64_t offset) const { return static_cast<std::uint32_t>(read(offset, 2)); }
    std::uint32_t u24(std::uint64_t offset) const { return static_cast<std::uint32_t>(read(offset, 3)); }
    std::uint32_t u32(std::uint64_t offset) const { return static_cast<std::uint32_t>(read(offset, 4)); }

private:
    const std::vector<std::uint8_t>& image_;
    bool big_;
};

}  // namespace vhost
