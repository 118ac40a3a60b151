#include "Checksum.h"

namespace vhost {

std::uint64_t fnv1a64(const void* data, std::size_t size, std::uint64_t hash) {
    constexpr std::uint64_t kPrime = 0x100000001b3ull;
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    for (std::size_t i = 0; i < size; ++i) {
        hash ^= bytes[i];
        hash *= kPrime;
    }
    return hash;
}

}  // namespace vhost
