// The ELF section reader on whole files. Every input is made to start with the ELF signature, so
// each execution reaches the section table rather than the format check.
#include "ModuleFileFuzz.h"

#include <algorithm>
#include <cstddef>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::vector<std::uint8_t> image(data, data + size);
    static constexpr std::uint8_t kMagic[4] = {0x7F, 'E', 'L', 'F'};
    std::copy_n(kMagic, std::min<std::size_t>(4, image.size()), image.begin());
    readModuleImage(image);
    return 0;
}
