// A 64-bit FNV-1a checksum of bytes: what the host, the tests and the matrix tool use to tell two
// images (or property lists) apart by one number that does not depend on the platform.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vhost {

inline constexpr std::uint64_t kFnv1aOffset = 0xcbf29ce484222325ull;

// Continues `hash` over `size` bytes; start from kFnv1aOffset, or from the result of an earlier
// call to checksum data that lies in several pieces.
std::uint64_t fnv1a64(const void* data, std::size_t size, std::uint64_t hash = kFnv1aOffset);

}  // namespace vhost
