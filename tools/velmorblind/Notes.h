// Remarks for the user on stderr (a lossy conversion, a dropped channel), each said once per run
// however many frames cause it, from whichever thread writes the frame.
#pragma once

#include <iosfwd>
#include <mutex>
#include <set>
#include <string>

namespace vblind {

class Notes {
public:
    explicit Notes(std::ostream& out) : out_(out) {}
    // Prints "velmorblind: <text>" the first time this text is seen; later calls do nothing.
    void once(const std::string& text);
    bool said(const std::string& text) const {
        std::lock_guard<std::mutex> lock(mutex_);
        return said_.count(text) != 0;
    }

private:
    std::ostream& out_;
    mutable std::mutex mutex_;
    std::set<std::string> said_;
};

}  // namespace vblind
