// Writing a file so that it appears whole or not at all: the bytes go to a temporary name in the
// destination's own folder (so the final rename stays on one file system) and are renamed into
// place only when complete. A TempOutput that is not committed removes its temporary file.
#pragma once

#include <filesystem>

namespace vblind {

// Refuses (with one sentence, exit status 1) a destination whose folder is missing, is not a
// folder or does not let us create a file; also a destination that is itself a folder.
void checkDestination(const std::filesystem::path& destination);

class TempOutput {
public:
    explicit TempOutput(std::filesystem::path destination);
    ~TempOutput();
    TempOutput(const TempOutput&) = delete;
    TempOutput& operator=(const TempOutput&) = delete;

    const std::filesystem::path& tempPath() const { return temp_; }
    const std::filesystem::path& destination() const { return destination_; }
    // Renames the temporary file onto the destination; throws a ToolError when that fails.
    void commit();

private:
    std::filesystem::path destination_;
    std::filesystem::path temp_;
    bool committed_ = false;
};

}  // namespace vblind
