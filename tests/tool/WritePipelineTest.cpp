// Frames written on other threads: each file exactly what writing it directly gives, the queue
// bounded, and the first failure reported with nothing written after it.
#include "Error.h"
#include "ImageIO.h"
#include "Notes.h"
#include "OutputFile.h"
#include "ScratchDir.h"
#include "WritePipeline.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <sstream>

namespace fs = std::filesystem;
using namespace vblind;

// OpenImageIO's string table guards itself with spin locks inside the (uninstrumented) library,
// which the thread sanitizer cannot see; the program itself says the same.
extern "C" const char* __tsan_default_suppressions() { return "race:OpenImageIO_v2_4::ustring::\n"; }

namespace {

vhost::Image frameOf(int n) {
    vhost::Image image(37, 21, vhost::Depth::Bits16);
    std::mt19937 random(static_cast<unsigned>(n));
    for (auto& b : image.bytes) b = static_cast<std::uint8_t>(random() & 0x7F);
    return image;
}

struct Scratch {
    const vtest::ScratchDir folder{"velmorblind-pipeline"};
    const fs::path dir = folder.path();
    ~Scratch() { failWritesAfterForTesting(-1); }
    std::string name(int n) const { return (dir / ("f" + std::to_string(n) + ".png")).string(); }
};

}  // namespace

TEST(WritePipeline, CapacityFollowsWritersAndFrameSize) {
    EXPECT_EQ(pipelineCapacity(2, 1920 * 1080 * 4), 4);
    EXPECT_EQ(pipelineCapacity(1, 1920 * 1080 * 4), 2);
    EXPECT_EQ(pipelineCapacity(2, std::size_t{4000} * 4000 * 4), 1);   // 64 MB frames: one at a time
    EXPECT_EQ(pipelineCapacity(8, std::size_t{1920} * 1080 * 16), 2);  // float frames: what fits in 64 MB
}

TEST(WritePipeline, WritesEveryFrameAsDirectWritingDoes) {
    Scratch scratch;
    std::ostringstream said;
    Notes notes(said);
    const WriteOptions options;
    {
        WritePipeline pipeline(3, frameOf(0).bytes.size(), options, notes);
        for (int n = 0; n < 12; ++n) pipeline.submit(scratch.name(n), frameOf(n));
        pipeline.finish();
    }
    for (int n = 0; n < 12; ++n)
        EXPECT_EQ(readImage(scratch.name(n), std::nullopt).image.bytes, frameOf(n).bytes) << n;
    // The frames handed in before the pipeline goes away are written even without finish().
    {
        WritePipeline pipeline(2, frameOf(0).bytes.size(), options, notes);
        pipeline.submit(scratch.name(20), frameOf(20));
    }
    EXPECT_EQ(readImage(scratch.name(20), std::nullopt).image.bytes, frameOf(20).bytes);
}

TEST(WritePipeline, TheFirstFailureStopsItAndIsThrown) {
    Scratch scratch;
    std::ostringstream said;
    Notes notes(said);
    const WriteOptions options;
    failWritesAfterForTesting(0);
    WritePipeline pipeline(1, frameOf(0).bytes.size(), options, notes);
    int handedIn = 0;
    try {
        for (; handedIn < 50; ++handedIn) pipeline.submit(scratch.name(handedIn), frameOf(handedIn));
        pipeline.finish();
        ADD_FAILURE() << "no failure reported";
    } catch (const ToolError& e) {
        EXPECT_EQ(e.status(), kExitFailure);
        EXPECT_NE(std::string(e.what()).find("no space left on the device"), std::string::npos) << e.what();
    }
    EXPECT_LE(handedIn, pipeline.capacity() + 1);  // submit() reported it, not only finish()
    EXPECT_TRUE(fs::is_empty(scratch.dir));
}
