// Shared by the ELF and Windows module-file targets: the file image goes to the host's reader,
// and whatever it hands back as property-list bytes goes on to the property-list parser, as the
// loader does.
#pragma once

#include "FuzzCheck.h"
#include "ModuleFile.h"
#include "Pipl.h"

#include <cstdint>
#include <string>
#include <vector>

inline void readModuleImage(const std::vector<std::uint8_t>& image) {
    std::string error;
    const auto bytes = vhost::readPiplBytesFromImage(image, "module.bin", error);
    if (!bytes) {
        vtest::oneSentence(error);
        return;
    }
    vtest::expect(bytes->size() <= image.size(), "property list larger than the file");
    const auto pipl = vhost::parsePipl(*bytes, error);
    if (!pipl) vtest::oneSentence(error);
}
