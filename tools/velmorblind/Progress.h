// A one-line progress bar on stderr, drawn only when stderr is a terminal and more than one frame is
// rendered (and not silenced): output piped to a file or a log stays clean.
#pragma once

#include <string>

namespace vblind {

// Whether stderr is an interactive terminal.
bool stderrIsTerminal();

class Progress {
public:
    Progress(int total, bool enabled);
    ~Progress();  // ends the line if one was drawn
    void step(int done, const std::string& what);
    void finish();
    bool enabled() const { return enabled_; }

private:
    int total_;
    bool enabled_;
    bool drawn_ = false;
};

}  // namespace vblind
