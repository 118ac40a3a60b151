// `render` and `demo` end to end: frames on disk, their depth, animated controls, contact sheets.
#include "ToolRunner.h"

#include <OpenImageIO/imageio.h>

#include <regex>

namespace fs = std::filesystem;
using namespace vblind;

namespace {

class RenderTest : public vblind::testing::ToolTest {
protected:
    OIIO::TypeDesc storedType(const std::string& name) const {
        auto in = OIIO::ImageInput::open(path(name));
        EXPECT_TRUE(in) << name;
        return in ? in->spec().format : OIIO::TypeDesc::UNKNOWN;
    }
    // The --verbose line of a frame.
    static std::string frameLine(const std::string& out, int frame) {
        const std::string head = "frame " + std::to_string(frame) + ": ";
        const std::size_t at = out.find(head);
        if (at == std::string::npos) return {};
        return out.substr(at, out.find('\n', at) - at);
    }
};

}  // namespace

TEST_F(RenderTest, KeyedControlsTakeTheirKeyedValuesOnKeyedFrames) {
    writeInput("in.png");
    const vblind::testing::ToolRun r =
        run({"render", "in.png", "-o", "f_%02d.png", "--frames", "0-10", "-v", "--key", "Direction=0@0,90@10",
             "--key", "Easing=Quad@0,Sine@6", "--key", "Width=10@2,30@4", "--set", "Mode=Both"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 11) << r.out;
    const std::string f0 = frameLine(r.out, 0), f5 = frameLine(r.out, 5), f6 = frameLine(r.out, 6),
                      f10 = frameLine(r.out, 10), f3 = frameLine(r.out, 3);
    EXPECT_NE(f0.find("Direction=0.0\xC2\xB0"), std::string::npos) << f0;
    EXPECT_NE(f10.find("Direction=90.0\xC2\xB0"), std::string::npos) << f10;
    EXPECT_NE(f5.find("Direction=45.0\xC2\xB0"), std::string::npos) << f5;   // linear between keys
    EXPECT_NE(f0.find("Easing=Quad;"), std::string::npos) << f0;
    EXPECT_NE(f5.find("Easing=Quad;"), std::string::npos) << f5;              // popups hold
    EXPECT_NE(f6.find("Easing=Sine;"), std::string::npos) << f6;
    EXPECT_NE(f0.find("Width=10.00;"), std::string::npos) << f0;             // before the first key
    EXPECT_NE(f3.find("Width=20.00;"), std::string::npos) << f3;
    EXPECT_NE(f10.find("Width=30.00;"), std::string::npos) << f10;           // after the last key
    EXPECT_NE(f0.find("Mode=Both;"), std::string::npos) << f0;
    EXPECT_NE(f10.find("Mode=Both;"), std::string::npos) << f10;
    // Completion was not given: it runs from 0 % to 100 % over the frames.
    EXPECT_NE(f0.find("Completion=0.0%;"), std::string::npos) << f0;
    EXPECT_NE(f5.find("Completion=50.0%;"), std::string::npos) << f5;
    EXPECT_NE(f10.find("Completion=100.0%;"), std::string::npos) << f10;
    for (int f = 0; f <= 10; ++f) {
        char name[16];
        std::snprintf(name, sizeof name, "f_%02d.png", f);
        EXPECT_TRUE(fs::exists(path(name))) << name;
    }
}

TEST_F(RenderTest, FramesKeepTheFileDepthOrTheAskedOne) {
    vhost::Image e(9, 7, vhost::Depth::Bits8), s(9, 7, vhost::Depth::Bits16), f(9, 7, vhost::Depth::Float32);
    std::ostringstream ignored;
    Notes notes(ignored);
    writeImage(path("e.png"), e, notes);
    writeImage(path("s.png"), s, notes);
    writeImage(path("s.tif"), s, notes);
    writeImage(path("f.exr"), f, notes);
    writeImage(path("f.tif"), f, notes);
    const std::vector<std::pair<std::vector<std::string>, OIIO::TypeDesc>> cases = {
        {{"e.png", "-o", "e_out.png"}, OIIO::TypeDesc::UINT8},
        {{"s.png", "-o", "s_out.png"}, OIIO::TypeDesc::UINT16},
        {{"s.tif", "-o", "s_out.tif"}, OIIO::TypeDesc::UINT16},
        {{"f.exr", "-o", "f_out.exr"}, OIIO::TypeDesc::FLOAT},
        {{"f.tif", "-o", "f_out.tif"}, OIIO::TypeDesc::FLOAT},
        {{"e.png", "-o", "e16.png", "--depth", "16"}, OIIO::TypeDesc::UINT16},
        {{"e.png", "-o", "e32.exr", "--depth", "32"}, OIIO::TypeDesc::FLOAT},
        {{"s.png", "-o", "s8.png", "--depth", "8"}, OIIO::TypeDesc::UINT8},
    };
    for (const auto& [args, type] : cases) {
        std::vector<std::string> full = {"render"};
        full.insert(full.end(), args.begin(), args.end());
        const vblind::testing::ToolRun r = run(full);
        ASSERT_EQ(r.status, 0) << args[2] << ": " << r.err;
        EXPECT_EQ(storedType(args[2]), type) << args[2];
    }
}

TEST_F(RenderTest, ContactSheetHoldsEveryFrame) {
    writeInput("in.png", 40, 30);
    const vblind::testing::ToolRun r = run({"render", "in.png", "-o", "f%d.png", "--frames", "3-7",
                                            "--contact-sheet", "sheet.png", "--quiet"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(r.out.empty()) << r.out;
    EXPECT_TRUE(r.err.empty()) << r.err;  // not a terminal: no progress bar
    for (int f = 3; f <= 7; ++f) EXPECT_TRUE(fs::exists(path("f" + std::to_string(f) + ".png")));
    EXPECT_FALSE(fs::exists(path("f2.png")));
    EXPECT_FALSE(fs::exists(path("f8.png")));
    const LoadedImage sheet = readImage(path("sheet.png"), std::nullopt);
    // Five 40 x 30 frames: three columns, two rows, each with a label below.
    EXPECT_GE(sheet.image.width, 3 * 40);
    EXPECT_GE(sheet.image.height, 2 * 30);
    EXPECT_EQ(sheet.image.depth, vhost::Depth::Bits8);
}

TEST_F(RenderTest, DemoWritesFramesAndContactSheetAndSaysWhere) {
    const vblind::testing::ToolRun r = run({"demo", "-o", "show"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("show/frame_0001.png"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("show/contact_sheet.png"), std::string::npos) << r.out;
    for (int f = 1; f <= 48; ++f) {
        char name[32];
        std::snprintf(name, sizeof name, "show/frame_%04d.png", f);
        ASSERT_TRUE(fs::exists(path(name))) << name;
    }
    EXPECT_FALSE(fs::exists(path("show/frame_0049.png")));
    EXPECT_TRUE(fs::exists(path("show/contact_sheet.png")));
    // The demo's own settings.
    const vblind::testing::ToolRun v = run({"demo", "-o", "again", "-v", "-q"});
    ASSERT_EQ(v.status, 0) << v.err;
    const std::string first = frameLine(v.out, 1);
    for (const char* part : {"Mode=Both;", "State=Move;", "Direction=30.0\xC2\xB0;", "Easing=Cubic;", "Completion=0.0%;"})
        EXPECT_NE(first.find(part), std::string::npos) << first;
    EXPECT_NE(frameLine(v.out, 48).find("Completion=100.0%;"), std::string::npos);
}

TEST_F(RenderTest, DemoRefusesAFolderItCannotMake) {
    { std::ofstream(path("taken")) << "a file"; }
    expectRefused({"demo", "-o", "taken/demo"}, 1, "cannot make the folder");
}
