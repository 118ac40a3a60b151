// Before anything is rendered: no file the run writes may be a file it reads, or another file it
// writes. Files are compared by identity (device and inode when the file exists, else the absolute
// path with its folders' links resolved), so "./x.png", absolute paths, symbolic links and hard links
// to the same file all count as the same file.
#pragma once

#include "Frames.h"

#include <string>
#include <vector>

namespace vblind {

struct ReadFile {
    std::string path;
    std::string role;  // "input image", "background image"
};

// Refuses (exit status 2, one sentence naming both roles) a frame name of the whole range or the
// contact sheet (empty: none) that is one of `reads`, and outputs that are one another. The cost
// follows the size of the output folder, not the length of the range.
void checkOutputsSpareInputs(const std::vector<ReadFile>& reads, const OutputPattern& output,
                             const FrameRange& frames, const std::string& contactSheet);

}  // namespace vblind
