#include "FileFormat.h"

namespace vblind {

const FileFormat& fileFormat(std::string_view name) {
    for (const FileFormat& format : kFileFormats)
        if (name == format.name) return format;
    return kOtherFormat;
}

std::string usualExtensions() {
    std::string text;
    for (const FileFormat& format : kFileFormats)
        text += (text.empty() ? "" : ", ") + std::string(format.extension);
    return text;
}

}  // namespace vblind
