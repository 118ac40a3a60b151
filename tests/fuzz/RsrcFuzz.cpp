// The Mac resource-file reader on whole files, as a macOS bundle hands it to the host; the
// property list it finds ('PiPL' 16000) goes on to the property-list parser in its Mac form.
#include "FuzzCheck.h"
#include "Pipl.h"
#include "ResourceFile.h"

#include <cstdint>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::vector<std::uint8_t> image(data, data + size);
    std::string error;
    const auto resources = vhost::readResourceFile(image, "VelmorBlind.rsrc", error);
    if (!resources) {
        vtest::oneSentence(error);
        return 0;
    }
    for (const vhost::MacResource& resource : *resources) {
        vtest::expect(resource.data.size() <= image.size(), "resource larger than the file");
        if (resource.type != "PiPL" || resource.id != 16000) continue;
        if (!vhost::parseMacPipl(resource.data, error)) vtest::oneSentence(error);
    }
    return 0;
}
