// `render --region WxH+X+Y`: the file holds exactly that rectangle of the rendered frame, the
// same pixels as the whole render has there (zero beyond it), at its position in EXR and TIFF
// files; every frame of a range and the contact sheet show the region; geometry that cannot be
// rendered is refused in one sentence before anything renders.
#include "ToolRunner.h"

#include "ContactSheet.h"
#include "Error.h"
#include "Region.h"

#include <OpenImageIO/imageio.h>

using namespace vblind;

namespace {

class RegionTest : public vtest::ToolTest {
protected:
    vhost::Image read(const std::string& name) const {
        return readImage(path(name), std::nullopt, "test image", ReadOptions{}).image;
    }
    // A picture of distinct pixels, some of them transparent (colour kept under zero alpha).
    void writePicture(const std::string& name, int w = 37, int h = 23) const {
        vhost::Image image(w, h, vhost::Depth::Bits8);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                image.at<PF_Pixel>(x, y) =
                    PF_Pixel{static_cast<A_u_char>((x + y) % 5 == 0 ? 0 : 60 + (x * 5 + y * 3) % 190),
                             static_cast<A_u_char>(x * 6), static_cast<A_u_char>(y * 10),
                             static_cast<A_u_char>(200 - x * 2 - y)};
        std::ostringstream ignored;
        Notes notes(ignored);
        writeImage(path(name), image, notes);
    }
};

TEST_F(RegionTest, ARegionIsItsCutOfTheWholeFrame) {
    writePicture("in.png");
    const std::vector<std::vector<std::string>> settings = {
        {"--set", "State=Shrink", "--set", "Mode=Both", "--set", "Outside=Tile"},
        {"--set", "State=Move", "--set", "Outside=Tile", "--set", "Direction=30", "--downsample", "2"},
    };
    const std::vector<std::string> regions = {"10x8+30+18", "5x30-2+3", "1x1+36+22", "37x23+0+0"};
    for (const auto& set : settings) {
        std::vector<std::string> whole = {"render", "in.png",        "-o",    "whole.png",
                                          "--set",  "Completion=55", "--set", "Width=6"};
        whole.insert(whole.end(), set.begin(), set.end());
        ASSERT_EQ(run(whole).status, 0);
        const vhost::Image frame = read("whole.png");
        for (const std::string& text : regions) {
            std::vector<std::string> part = whole;
            part[3] = "part.png";
            part.insert(part.end(), {"--region", text});
            const vtest::ToolRun r = run(part);
            ASSERT_EQ(r.status, 0) << text << ": " << r.err;
            const Region region = parseRegion(text);
            const vhost::Image got = read("part.png");
            const vhost::Image expected = cutRegion(frame, region);
            EXPECT_EQ(got.width, region.width) << text;
            EXPECT_EQ(got.height, region.height) << text;
            EXPECT_TRUE(got.bytes == expected.bytes) << text << " with " << set[1] << " " << set[3];
        }
    }
}

TEST_F(RegionTest, ExrAndTiffKeepTheRegionsPlaceInTheFrame) {
    writePicture("in.png");
    for (const std::string out : {"part.exr", "part.tif"}) {
        ASSERT_EQ(run({"render", "in.png", "-o", out, "--set", "Completion=30", "--downsample", "2",
                       "--region", "8x6+12+9"})
                      .status,
                  0);
        auto in = OIIO::ImageInput::open(path(out));
        ASSERT_TRUE(in) << out;
        const OIIO::ImageSpec& header = in->spec();  // the file's size and placement
        EXPECT_EQ(header.width, 8) << out;
        EXPECT_EQ(header.height, 6) << out;
        EXPECT_EQ(header.x, 12) << out;
        EXPECT_EQ(header.y, 9) << out;
        if (out == "part.tif") continue;   // a TIFF says only where its pixels start
        EXPECT_EQ(header.full_width, 19);  // the frame at half size: ceil(37 / 2) x ceil(23 / 2)
        EXPECT_EQ(header.full_height, 12);
    }
}

TEST_F(RegionTest, EveryFrameAndTheContactSheetShowTheRegion) {
    writePicture("in.png");
    const std::vector<std::string> common = {"--frames", "0-3",          "--set", "State=Move",
                                             "--set",    "Outside=Tile", "--set", "Width=5",
                                             "--set",    "Direction=200"};
    std::vector<std::string> whole = {"render", "in.png", "-o", "w_%d.png"};
    whole.insert(whole.end(), common.begin(), common.end());
    ASSERT_EQ(run(whole).status, 0);
    std::vector<std::string> part = {"render",          "in.png",    "-o",       "r_%d.png",
                                     "--contact-sheet", "sheet.png", "--region", "11x9+26-2"};
    part.insert(part.end(), common.begin(), common.end());
    const vtest::ToolRun r = run(part);
    ASSERT_EQ(r.status, 0) << r.err;
    const Region region = parseRegion("11x9+26-2");
    ContactSheet sheet(4, region.width, region.height);
    for (int f = 0; f <= 3; ++f) {
        const vhost::Image got = read("r_" + std::to_string(f) + ".png");
        EXPECT_TRUE(got.bytes == cutRegion(read("w_" + std::to_string(f) + ".png"), region).bytes) << f;
        sheet.add(got, f, 100.0 * f / 3.0);
    }
    const vhost::Image written = read("sheet.png");
    EXPECT_EQ(written.width, sheet.image().width);
    EXPECT_EQ(written.height, sheet.image().height);
    EXPECT_TRUE(written.bytes == sheet.image().bytes) << "the sheet is made of the region's frames";
}

TEST_F(RegionTest, GeometryThatCannotBeRenderedIsRefusedBeforeRendering) {
    writePicture("in.png");
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"0x5+0+0", "is empty"},
        {"-3x5+0+0", "is not a geometry"},
        {"5x5", "is not a geometry"},
        {"5x5+1", "is not a geometry"},
        {"axb+0+0", "is not a geometry"},
        {"100000x100000+0+0", "larger than the host renders"},
        {"2147483648x1+0+0", "larger than the host renders"},                             // 2^31 wide
        {"4294967295x4294967295-2147483648-2147483648", "larger than the host renders"},  // the whole range
        {"2147483653x5-2147483648+0", "larger than the host renders"},
        {"10x10+2147483640+0", "beyond 32-bit"},
        {"10x10+0-2147483649", "beyond 32-bit"},
    };
    // Every case as the parser sees it; a few through the program, whose refusal leaves nothing.
    for (const auto& [text, why] : cases) {
        try {
            parseRegion(text);
            ADD_FAILURE() << text << " was taken";
        } catch (const ToolError& e) {
            EXPECT_EQ(e.status(), kExitUsage) << text;
            EXPECT_NE(std::string(e.what()).find(why), std::string::npos) << e.what();
        }
    }
    for (const char* text : {"0x5+0+0", "5x5+1", "4294967295x4294967295-2147483648-2147483648",
                             "2147483653x5-2147483648+0", "10x10+2147483640+0"})
        expectRefused({"render", "in.png", "-o", "out.png", "--region", text}, 2, "--region");
    expectRefused({"render", "in.png", "-o", "out.exr", "--depth", "32", "--region", "30000x30000+0+0",
                   "--max-memory", "1G"},
                  2, "over the memory limit");
}

TEST_F(RegionTest, HostileButValidRegionsRenderZerosOffTheFrame) {
    writePicture("in.png");
    for (const std::string text : {"4x3+2147483640+0", "3x2-2147483648-2147483648", "2x2+37+23"}) {
        const vtest::ToolRun r = run({"render", "in.png", "-o", "far.png", "--region", text});
        ASSERT_EQ(r.status, 0) << text << ": " << r.err;
        const vhost::Image got = read("far.png");
        const Region region = parseRegion(text);
        EXPECT_EQ(got.width, region.width) << text;
        EXPECT_EQ(got.height, region.height) << text;
        EXPECT_TRUE(std::all_of(got.bytes.begin(), got.bytes.end(), [](std::uint8_t b) { return b == 0; }))
            << text;
    }
}

}  // namespace
