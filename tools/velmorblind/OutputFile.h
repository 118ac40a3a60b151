// Writing a file so that it appears whole or not at all: the bytes go to a temporary name in the
// destination's own folder (so the final rename stays on one file system), every write is checked,
// the data is flushed to the device, and only then is the file renamed into place. A TempOutput
// that is not committed removes its temporary file and leaves the destination as it was.
//
// An existing destination that is a symbolic link is followed: the file it names is replaced and
// the link stays. resolveDestination() is that rule, shared by the writer and the clash checks.
#pragma once

#include <OpenImageIO/filesystem.h>

#include <filesystem>
#include <memory>
#include <string>

namespace vblind {

// The file a write to `path` replaces: symbolic links (also dangling ones) followed to the end.
std::filesystem::path resolveDestination(const std::filesystem::path& path);

// Refuses (with one sentence, exit status 1) a destination whose folder is missing, is not a
// folder or does not let us create a file; also a destination that is a folder, a device, a pipe
// or a socket.
void checkDestination(const std::filesystem::path& destination);

// The folder where a write to `destination` puts its temporary file ("." for a bare name).
std::filesystem::path writeFolder(const std::filesystem::path& destination);

// Removes the temporary files that runs killed outright (SIGKILL, a crash) left in `folder`: names
// of this tool's pattern whose process no longer exists. Returns how many were removed.
int removeStaleTemporaries(const std::filesystem::path& folder);

// A user-facing reason for an errno value of a file operation: "no space left on the device".
std::string fileErrorReason(int err);

// Test hook: after `bytes` more bytes, writes through a TempOutput fail as on a full device
// (negative: never). Only tests call this.
void failWritesAfterForTesting(long long bytes);

class TempOutput {
public:
    // Creates the temporary file beside the (resolved) destination; throws a ToolError naming
    // `destination` when that is impossible.
    explicit TempOutput(const std::filesystem::path& destination);
    ~TempOutput();
    TempOutput(const TempOutput&) = delete;
    TempOutput& operator=(const TempOutput&) = delete;

    const std::filesystem::path& tempPath() const { return temp_; }
    const std::filesystem::path& destination() const { return destination_; }
    // The temporary file as an image library sees it: every write is checked and remembered.
    OIIO::Filesystem::IOProxy* proxy();
    // The first write error seen (an errno value), or 0.
    int writeError() const;

    // Checks that every write succeeded and the file is not empty, flushes it to the device and
    // renames it onto the destination; throws a ToolError naming the file and the reason.
    void commit();

private:
    [[noreturn]] void fail(const std::string& reason);

    std::filesystem::path shown_;        // the name the user gave, for sentences
    std::filesystem::path destination_;  // where the rename lands
    std::filesystem::path temp_;
    class Proxy;
    std::unique_ptr<Proxy> proxy_;
    int fd_ = -1;
    bool committed_ = false;
};

}  // namespace vblind
