// How much memory one image's pixels may take. A file's header declares its size before any pixel
// arrives; a header that asks for more than the budget is refused before anything is allocated.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace vblind {

// Half the machine's physical memory (1 GiB where that cannot be found out).
std::uint64_t defaultMemoryBudget();

// "512M", "2G", "1.5g", "300k", "1048576" (bytes): K, M, G and T are powers of 1024, an optional
// trailing "B" or "iB" is allowed. Nothing else, and no zero: nullopt; a well-formed size past
// 64 bits also sets `tooLarge`.
std::optional<std::uint64_t> parseByteSize(const std::string& text, bool* tooLarge = nullptr);

// A size as people read it: "512 MiB", "3.4 GiB", "900 bytes".
std::string describeBytes(std::uint64_t bytes);

}  // namespace vblind
