#include "Notes.h"

#include <ostream>

namespace vblind {

void Notes::once(const std::string& text) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (said_.insert(text).second) out_ << "velmorblind: " << text << '\n' << std::flush;
}

}  // namespace vblind
