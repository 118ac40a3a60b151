// The Windows resource reader on whole files. Every input is made to start with "MZ", so each
// execution reaches the PE headers and the resource tree rather than the format check.
#include "ModuleFileFuzz.h"

#include <algorithm>
#include <cstddef>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::vector<std::uint8_t> image(data, data + size);
    static constexpr std::uint8_t kMagic[2] = {'M', 'Z'};
    std::copy_n(kMagic, std::min<std::size_t>(2, image.size()), image.begin());
    readModuleImage(image);
    return 0;
}
