// Reading a module's property list from its file, without loading or running the module.
//   Linux (ELF64 shared library): the bytes of the section named ".pipl".
//   Windows (PE, .aex): the "PIPL" resource; not read yet, refused with a clear message.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace vhost {

// Name of the section that carries the property list in an ELF module.
inline constexpr const char* kPiplSectionName = ".pipl";

// Returns the raw property-list bytes of the module file, or nullopt with one sentence in `error`
// (missing or unreadable file, not a module, a module without a property list).
std::optional<std::vector<std::uint8_t>> readPiplBytes(const std::filesystem::path& file,
                                                       std::string& error);

// The same on a file image already in memory (`what` names it in messages).
std::optional<std::vector<std::uint8_t>> readPiplBytesFromImage(const std::vector<std::uint8_t>& image,
                                                                const std::string& what,
                                                                std::string& error);

}  // namespace vhost
