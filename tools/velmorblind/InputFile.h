// What an image path names, checked before any image library opens it: only a whole regular file
// is handed on. A device (/dev/zero), a pipe, a socket or a folder would make a format probe read
// forever or block, so each is refused at once, by name.
#pragma once

#include <string>

namespace vblind {

// Throws a ToolError (exit status 1) whose sentence starts "cannot read <what>: " unless `path` is an
// existing, non-empty regular file we may open (symbolic links are followed).
void checkInputFile(const std::string& path, const std::string& what);

// Why `path` cannot be opened for reading now ("permission denied", "too many files are open at
// once ..."), or "" when it can: the true reason when an image library says only that it failed.
std::string openProblem(const std::string& path);

}  // namespace vblind
