#include "OutputFile.h"

#include "Error.h"

#include <atomic>
#include <fstream>
#include <random>
#include <string>
#include <system_error>

namespace vblind {

namespace fs = std::filesystem;

namespace {

fs::path folderOf(const fs::path& destination) {
    fs::path folder = destination.parent_path();
    return folder.empty() ? fs::path(".") : folder;
}

// A name in the destination's folder that no other run or file of this run will pick.
fs::path temporaryNameFor(const fs::path& destination) {
    static std::atomic<unsigned> counter{0};
    static const unsigned long long salt = [] {
        std::random_device rd;
        return (static_cast<unsigned long long>(rd()) << 32) ^ rd();
    }();
    const std::string name = "." + destination.filename().string() + ".velmorblind-" +
                             std::to_string(salt % 1000000007ull) + "-" + std::to_string(counter++) +
                             ".tmp";
    return folderOf(destination) / name;
}

}  // namespace

void checkDestination(const fs::path& destination) {
    const fs::path folder = folderOf(destination);
    const std::string quoted = "\"" + destination.string() + "\"";
    std::error_code ec;
    if (!fs::exists(folder, ec))
        failure("cannot write " + quoted + ": the folder \"" + folder.string() + "\" does not exist.");
    if (!fs::is_directory(folder, ec))
        failure("cannot write " + quoted + ": \"" + folder.string() + "\" is not a folder.");
    if (fs::is_directory(destination, ec))
        failure("cannot write " + quoted + ": it is a folder.");
    // Ask the file system itself: permissions alone do not tell (read-only mounts, ACLs, root).
    const fs::path probe = temporaryNameFor(destination);
    {
        std::ofstream f(probe, std::ios::binary);
        if (!f) failure("cannot write " + quoted + ": the folder \"" + folder.string() +
                        "\" does not let us create files.");
    }
    fs::remove(probe, ec);
}

TempOutput::TempOutput(fs::path destination)
    : destination_(std::move(destination)), temp_(temporaryNameFor(destination_)) {}

TempOutput::~TempOutput() {
    if (!committed_) {
        std::error_code ec;
        fs::remove(temp_, ec);
    }
}

void TempOutput::commit() {
    std::error_code ec;
    fs::rename(temp_, destination_, ec);
    if (ec)
        failure("cannot write \"" + destination_.string() + "\": renaming the finished file into "
                "place failed (" + ec.message() + ").");
    committed_ = true;
}

}  // namespace vblind
