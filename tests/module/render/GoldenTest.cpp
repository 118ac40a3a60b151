// Golden frames: a few renders per depth through the module loaded from disk, kept as checksums
// of the output bytes in golden.txt beside this file, each with a line saying what it exercises.
// Float frames are checksummed after rounding every channel to the nearest 1/4096, so that the
// last bits of float arithmetic may differ between compilers without failing the test.
//
// Regenerate after an intended change of the rendered pixels (and say why in the commit):
//     VELMOR_REGENERATE_GOLDEN=1 ./render_module_tests --gtest_filter='Golden.*'
#include "RenderRig.h"

#include "Checksum.h"

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <iomanip>
#include <map>
#include <sstream>

using namespace vtest;

namespace {

struct GoldenCase {
    const char* name;
    const char* reason;
    std::vector<std::pair<int, double>> controls;
    AEGP_LayerQuality quality;
    int downsample;
};

const std::vector<GoldenCase>& goldenCases() {
    static const std::vector<GoldenCase> cases = {
        {"move-one-seams",
         "anti-aliased Move One over a random order: fades into bands not yet started and across the wrap "
         "seam of a shifted grid",
         {{kMode, One},
          {kState, Move},
          {kOutside, Mirror},
          {kCompletion, 40.0},
          {kDelay, 25.0},
          {kWidth, 6.5},
          {kDirection, 30.0},
          {kOffset, 20.0},
          {kOrder, Random},
          {kSeed, 7},
          {kEasing, 3},
          {kEasingMode, 3}},
         AEGP_LayerQual_BEST,
         1},
        {"move-both-centre",
         "anti-aliased Move Both at an oblique angle in inverse order: centre-line mixes of two samples, "
         "Edge clamping",
         {{kMode, Both},
          {kState, Move},
          {kOutside, Edge},
          {kCompletion, 55.0},
          {kDelay, 60.0},
          {kWidth, 9.0},
          {kDirection, 120.0},
          {kOffset, 0.0},
          {kOrder, Inverse},
          {kEasing, 2},
          {kEasingMode, 2}},
         AEGP_LayerQual_BEST,
         1},
        {"shrink-tile-soft",
         "anti-aliased Shrink One with Tile: squeezed bands and the softened seams between tiles",
         {{kMode, One},
          {kState, Shrink},
          {kOutside, Tile},
          {kCompletion, 70.0},
          {kDelay, 0.0},
          {kWidth, 12.0},
          {kDirection, 0.0},
          {kOffset, 90.0},
          {kOrder, Normal},
          {kEasing, 6},
          {kEasingMode, 1}},
         AEGP_LayerQual_BEST,
         1},
        {"shrink-both-void-draft",
         "Draft: hard edges and nearest-neighbour samples, Shrink Both fetching beyond the image with Void",
         {{kMode, Both},
          {kState, Shrink},
          {kOutside, Void},
          {kCompletion, 45.0},
          {kDelay, 50.0},
          {kWidth, 5.0},
          {kDirection, 200.0},
          {kOffset, 300.0},
          {kOrder, Random},
          {kSeed, 4242},
          {kEasing, 9},
          {kEasingMode, 2}},
         AEGP_LayerQual_DRAFT,
         1},
        {"still-half-resolution",
         "Still at half resolution: the band width follows the downsampling, alpha-only ramps on a "
         "box-averaged layer",
         {{kMode, Both},
          {kState, Still},
          {kCompletion, 60.0},
          {kDelay, 40.0},
          {kWidth, 14.0},
          {kDirection, 75.0},
          {kOffset, 10.0},
          {kOrder, Normal},
          {kEasing, 8},
          {kEasingMode, 3}},
         AEGP_LayerQual_BEST,
         2},
    };
    return cases;
}

std::uint64_t frameChecksum(const Image& image) {
    if (image.depth != Depth::Float32) return vhost::fnv1a64(image.bytes.data(), image.bytes.size());
    std::uint64_t h = vhost::kFnv1aOffset;
    const float* f = reinterpret_cast<const float*>(image.bytes.data());
    for (std::size_t i = 0; i < image.bytes.size() / sizeof(float); ++i) {
        const std::int64_t q = std::llround(static_cast<double>(f[i]) * 4096.0);
        h = vhost::fnv1a64(&q, sizeof q, h);
    }
    return h;
}

std::string key(const GoldenCase& c, Depth depth) { return std::string(c.name) + "@" + depthLabel(depth); }

std::map<std::string, std::string> readGolden() {
    std::map<std::string, std::string> golden;
    std::ifstream file(VELMOR_GOLDEN_FILE);
    std::string line;
    while (std::getline(file, line)) {
        if (line.empty() || line[0] == '#') continue;
        std::istringstream in(line);
        std::string name, sum;
        if (in >> name >> sum) golden[name] = sum;
    }
    return golden;
}

TEST(Golden, FramesAtEachDepthMatchTheirChecksums) {
    const bool regenerate = std::getenv("VELMOR_REGENERATE_GOLDEN") != nullptr &&
                            std::string(std::getenv("VELMOR_REGENERATE_GOLDEN")) == "1";
    const std::map<std::string, std::string> golden = readGolden();
    std::ostringstream fresh;
    fresh << "# Checksums (64-bit FNV-1a) of golden render frames; see GoldenTest.cpp.\n"
          << "# Regenerate with VELMOR_REGENERATE_GOLDEN=1 after an intended change of the pixels.\n";

    Rig rig(2);
    for (const GoldenCase& c : goldenCases()) {
        fresh << "\n# " << c.name << ": " << c.reason << "\n";
        for (Depth depth : {Depth::Bits8, Depth::Bits16, Depth::Float32}) {
            SCOPED_TRACE(key(c, depth) + ": " + c.reason);
            rig.set(c.controls);
            vhost::RenderOptions options;
            options.quality = c.quality;
            options.downsampleX = options.downsampleY = c.downsample;
            Image out;
            ASSERT_EQ(rig.render(markedImage(48, 36, depth), out, options), PF_Err_NONE);
            std::ostringstream sum;
            sum << std::hex << std::setw(16) << std::setfill('0') << frameChecksum(out);
            fresh << key(c, depth) << " " << sum.str() << "\n";
            if (!regenerate) {
                auto it = golden.find(key(c, depth));
                if (it == golden.end())
                    ADD_FAILURE() << "no golden checksum for " << key(c, depth) << " in "
                                  << VELMOR_GOLDEN_FILE;
                else
                    EXPECT_EQ(sum.str(), it->second);
            }
        }
    }
    EXPECT_TRUE(rig.clean());
    if (regenerate) {
        std::ofstream(VELMOR_GOLDEN_FILE) << fresh.str();
        std::printf("wrote %s\n", VELMOR_GOLDEN_FILE);
    }
}

}  // namespace
