// `velmorblind info`: what a module file says about itself (its property list, read from the file)
// and what it declares when run (About text, controls, the controls greyed at their defaults).
#pragma once

#include <filesystem>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

namespace vblind {

class EffectSession;

void printInfo(EffectSession& session, std::ostream& out);

// `velmorblind info [--module PATH]`: a bundle folder's property list, or what the module (the one
// beside this program unless `module` names another) says when loaded. Throws a ToolError.
void runInfo(const std::optional<std::string>& module, std::ostream& out);

// The names of the controls the module declares, loaded as `info` loads it; nullopt when it cannot
// be found or loaded (or is a bundle, whose binary is never loaded).
std::optional<std::vector<std::string>> declaredControlNames(const std::optional<std::string>& module);

// `velmorblind --version`: this program's version, then the module's from its property list, read
// from the file without running it. Throws a ToolError when the module is missing or unreadable.
void printVersions(std::ostream& out);

// A folder given as the module: a macOS bundle, whose property list is read from its resource
// file; its binary is never loaded, so there is no About text and no controls. Throws a
// ToolError when the folder is not a bundle or its property list is missing or bad.
bool isBundleFolder(const std::filesystem::path& module);
void printBundleInfo(const std::filesystem::path& bundle, std::ostream& out);

// "1.3.0 release, build 1"
std::string describeVersion(unsigned word);
// "0x06000000 (DEEP_COLOR_AWARE, SEND_UPDATE_PARAMS_UI)"; second = true for the out_flags2 word.
std::string describeFlags(unsigned word, bool second);

}  // namespace vblind
