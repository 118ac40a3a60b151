// Writes the image target's seeds: a small picture drawn here, with a gradient in every channel
// and alpha, saved by the renderer's own writer in each format and depth the reader meets, each
// file prefixed with the byte that picks its extension in ImageFuzz.cpp.
#include "ImageIO.h"
#include "Notes.h"
#include "PixelTypes.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>
#include <vector>

namespace {

vhost::Image picture(vhost::Depth depth) {
    vhost::Image image(5, 3, depth);
    vsession::withPixelType(depth, [&](auto pixel) {
        using Pixel = decltype(pixel);
        using Channel = typename vsession::PixelTraits<Pixel>::Channel;
        const double full = vsession::PixelTraits<Pixel>::full;
        for (int y = 0; y < image.height; ++y)
            for (int x = 0; x < image.width; ++x) {
                Pixel& p = image.at<Pixel>(x, y);
                p.red = static_cast<Channel>(full * x / (image.width - 1));
                p.green = static_cast<Channel>(full * y / (image.height - 1));
                p.blue = static_cast<Channel>(full * (x + y) / (image.width + image.height - 2));
                p.alpha = static_cast<Channel>(x == 0 ? 0 : full * (image.width - x) / image.width);
            }
    });
    return image;
}

}  // namespace

int main(int argc, char** argv) {
    namespace fs = std::filesystem;
    if (argc != 2) {
        std::cerr << "usage: fuzz_seed_images OUTPUT_FOLDER\n";
        return 2;
    }
    const fs::path dir = argv[1];
    fs::create_directories(dir);
    struct Seed {
        const char* extension;
        unsigned char selector;  // index into ImageFuzz.cpp's extensions
        vhost::Depth depth;
    };
    const Seed seeds[] = {
        {"png", 0, vhost::Depth::Bits8},   {"png", 0, vhost::Depth::Bits16},
        {"tif", 1, vhost::Depth::Bits8},   {"tif", 1, vhost::Depth::Bits16},
        {"tif", 1, vhost::Depth::Float32}, {"exr", 2, vhost::Depth::Float32},
        {"jpg", 3, vhost::Depth::Bits8},   {"bmp", 4, vhost::Depth::Bits8},
        {"tga", 5, vhost::Depth::Bits8},   {"ppm", 6, vhost::Depth::Bits16},
        {"hdr", 7, vhost::Depth::Float32}, {"gif", 8, vhost::Depth::Bits8},
    };
    vblind::Notes notes(std::cerr);
    for (const Seed& s : seeds) {
        const std::string name = std::string(s.extension) + "_" + vsession::depthName(s.depth);
        const fs::path file = fs::temp_directory_path() / ("fuzz_seed." + std::string(s.extension));
        vblind::writeImage(file.string(), picture(s.depth), notes);
        std::ifstream in(file, std::ios::binary);
        std::vector<char> bytes{static_cast<char>(s.selector)};
        bytes.insert(bytes.end(), std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        std::ofstream(dir / name, std::ios::binary)
            .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        fs::remove(file);
    }
    return 0;
}
