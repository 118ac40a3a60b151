// The host's property-list reader on raw bytes: whatever the bytes, a list or one sentence, and a
// list it accepts holds everything the loader relies on.
#include "FuzzCheck.h"
#include "Pipl.h"

#include <cstddef>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string error;
    const auto pipl = vhost::parsePipl(data, size, error);
    if (!pipl) {
        vtest::oneSentence(error);
        return 0;
    }
    vtest::expect(pipl->kind == "eFKT", "accepted a list that is not an effect", pipl->kind);
    vtest::expect(!pipl->name.empty() && !pipl->matchName.empty() && !pipl->entryPoint.empty(),
                  "accepted a list without name, match name or entry point");
    std::size_t stored = 10;
    for (const vhost::PiplProperty& p : pipl->properties) {
        vtest::expect(p.vendor.size() == 4 && p.key.size() == 4, "code not four characters");
        stored += 16 + ((p.value.size() + 3) & ~std::size_t{3});
    }
    vtest::expect(stored == size, "accepted properties that do not fill the list exactly");
    return 0;
}
