// Image reading through the renderer's own reader. The first input byte picks the file name's
// extension (which decides the reader tried first), the rest is the file, written to a temporary
// file. A file is read whole or refused with one sentence; an image it reads has the size the
// reader promises.
#include "Error.h"
#include "FuzzCheck.h"
#include "ImageIO.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

// OpenImageIO's PNG reader leaks its error text on a damaged file (see the renderer's main); the
// library has no frame pointers, so only the full unwinder reaches that place in a leak's stack.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:OpenImageIO_v2_4::PNGInput::PngReadCallback\n";
}
extern "C" const char* __asan_default_options() { return "fast_unwind_on_malloc=0"; }

namespace {

constexpr std::array<const char*, 10> kExtensions = {".png", ".tif", ".exr", ".jpg", ".bmp",
                                                     ".tga", ".ppm", ".hdr", ".gif", ""};

std::string scratchPath(std::size_t extension) {
    static const std::filesystem::path dir = std::filesystem::temp_directory_path();
    return (dir / ("velmor_fuzz_image_" + std::to_string(::getpid()) + kExtensions[extension])).string();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const std::string path = scratchPath(data[0] % kExtensions.size());
    {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data + 1), static_cast<std::streamsize>(size - 1));
        vtest::expect(static_cast<bool>(out), "cannot write the scratch file", path);
    }
    try {
        const vblind::LoadedImage loaded =
            vblind::readImage(path, std::nullopt, "input image", vblind::ReadOptions{64u << 20, nullptr});
        const vhost::Image& image = loaded.image;
        vtest::expect(image.width > 0 && image.height > 0 && image.width <= vblind::kMaxImageSide &&
                          image.height <= vblind::kMaxImageSide,
                      "read an image of a size the reader refuses",
                      std::to_string(image.width) + " x " + std::to_string(image.height));
        vtest::expect(image.depth == loaded.fileDepth, "the file's depth was not kept");
    } catch (const vblind::ToolError& e) {
        vtest::expect(e.status() == vblind::kExitFailure, "an unreadable file refused as a usage error",
                      e.what());
        vtest::oneSentence(e.what());
    }
    std::filesystem::remove(path);
    return 0;
}
