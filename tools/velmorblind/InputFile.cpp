#include "InputFile.h"

#include "Error.h"

#include "OutputFile.h"

#include <cerrno>
#include <filesystem>
#include <system_error>

#include <fcntl.h>
#include <unistd.h>

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
    if (const std::string why = openProblem(path); !why.empty())
        failure(prefix + "the file cannot be opened: " + why + ".");
}

std::string openProblem(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return fileErrorReason(errno);
    ::close(fd);
    return "";
}

}  // namespace vblind
