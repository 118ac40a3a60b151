#include "InputFile.h"

#include "Error.h"

#include <filesystem>
#include <fstream>
#include <system_error>

namespace vblind {

namespace fs = std::filesystem;

namespace {

// What a path that is not a regular file names, in the words the refusal uses.
std::string kindOf(fs::file_type type) {
    switch (type) {
        case fs::file_type::fifo: return "a pipe (FIFO)";
        case fs::file_type::socket: return "a socket";
        case fs::file_type::character: return "a character device";
        case fs::file_type::block: return "a block device";
        default: return "something other than a file";
    }
}

}  // namespace

void checkInputFile(const std::string& path, const std::string& what) {
    const std::string prefix = "cannot read " + what + ": ";
    std::error_code ec;
    const fs::file_status status = fs::status(path, ec);  // follows symbolic links
    if (status.type() == fs::file_type::not_found) failure(prefix + "there is no such file.");
    if (ec) failure(prefix + ec.message() + ".");
    if (status.type() == fs::file_type::directory) failure(prefix + "it is a folder, not an image.");
    if (status.type() != fs::file_type::regular)
        failure(prefix + "it is " + kindOf(status.type()) +
                ", not an image file; only images saved as files can be read.");
    if (fs::file_size(path, ec) == 0 && !ec) failure(prefix + "the file is empty.");
    if (!std::ifstream(path, std::ios::binary))
        failure(prefix + "the file cannot be opened (no permission to read it?).");
}

}  // namespace vblind
