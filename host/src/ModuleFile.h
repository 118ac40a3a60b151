// Reading a module's property list from its file, without loading or running the module.
//   Linux (ELF64 shared library): the bytes of the section named ".pipl".
//   Windows (PE32+ DLL, .aex): the resource of type "PIPL", id 16000, language 1033 (English, US).
//   macOS (bundle folder, .plugin): resource 'PiPL' 16000 of a resource file in
//   Contents/Resources; the bundle's binary is never opened.
// All are read from the file's own structure on any platform.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace vhost {

// Name of the section that carries the property list in an ELF module.
inline constexpr const char* kPiplSectionName = ".pipl";
// Id and language of the "PIPL" resource that carries it in a Windows module.
inline constexpr std::uint32_t kPiplResourceId = 16000;
inline constexpr std::uint32_t kPiplResourceLanguage = 1033;
// Type of the resource that carries it in a macOS bundle's resource file (id kPiplResourceId).
inline constexpr const char* kPiplMacResourceType = "PiPL";

// Module files over this size are refused unread: no effect module comes near it.
inline constexpr std::uintmax_t kMaxModuleFileBytes = std::uintmax_t{256} << 20;

// Returns the raw property-list bytes of the module file, or nullopt with one sentence in `error`
// (missing or unreadable file, anything but a regular file, a file over kMaxModuleFileBytes, not a
// module, a module without a property list).
std::optional<std::vector<std::uint8_t>> readPiplBytes(const std::filesystem::path& file, std::string& error);

// The property-list bytes of a macOS bundle folder: the first resource file (by name) in
// Contents/Resources that holds resource 'PiPL' 16000. Nothing else of the bundle is read.
std::optional<std::vector<std::uint8_t>> readBundlePiplBytes(const std::filesystem::path& bundle,
                                                             std::string& error);

// The same on a file image already in memory (`what` names it in messages).
std::optional<std::vector<std::uint8_t>> readPiplBytesFromImage(const std::vector<std::uint8_t>& image,
                                                                const std::string& what, std::string& error);

}  // namespace vhost
