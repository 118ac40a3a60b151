// The host's property-list reader on raw bytes, in both forms (the Intel form of the Linux and
// Windows modules, the big-endian Mac form): whatever the bytes, a list or one sentence, and a list
// it accepts holds everything the loader relies on.
#include "FuzzCheck.h"
#include "Pipl.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace {

void check(const std::optional<vhost::Pipl>& pipl, const std::string& error, std::size_t headerSize,
           std::size_t size) {
    if (!pipl) {
        vtest::oneSentence(error);
        return;
    }
    vtest::expect(pipl->kind == "eFKT", "accepted a list that is not an effect", pipl->kind);
    vtest::expect(!pipl->name.empty() && !pipl->matchName.empty() && !pipl->entryPoint.empty(),
                  "accepted a list without name, match name or entry point");
    vtest::expect(!pipl->codeEntries.empty() && pipl->codeEntries.front().name == pipl->entryPoint,
                  "entry point not the first code entry's name");
    std::size_t stored = headerSize;
    for (const vhost::PiplProperty& p : pipl->properties) {
        vtest::expect(p.vendor.size() == 4 && p.key.size() == 4, "code not four characters");
        stored += 16 + ((p.value.size() + 3) & ~std::size_t{3});
    }
    vtest::expect(stored == size, "accepted properties that do not fill the list exactly");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string error;
    check(vhost::parsePipl(data, size, error), error, 10, size);
    check(vhost::parseMacPipl(data, size, error), error, 8, size);
    return 0;
}
