// `render` and `demo` end to end: frames on disk, their depth, animated controls, contact sheets.
#include "ToolRunner.h"

#include "Composite.h"
#include "Demo.h"
#include "Effect.h"
#include "Host.h"
#include "Module.h"
#include "PixelTypes.h"
#include "Render.h"

#include <OpenImageIO/imageio.h>

namespace fs = std::filesystem;
using namespace vblind;
using namespace vsession;

namespace {

class RenderTest : public vtest::ToolTest {
protected:
    OIIO::TypeDesc storedType(const std::string& name) const {
        auto in = OIIO::ImageInput::open(path(name));
        EXPECT_TRUE(in) << name;
        return in ? in->spec_dimensions(0).format : OIIO::TypeDesc::UNKNOWN;
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
    const vtest::ToolRun r =
        run({"render", "in.png", "-o", "f_%02d.png", "--frames", "0-10", "-v", "--key", "Direction=0@0,90@10",
             "--key", "Easing=Quad@0,Sine@6", "--key", "Width=10@2,30@4", "--set", "Mode=Both"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 11) << r.out;
    const std::string f0 = frameLine(r.out, 0), f5 = frameLine(r.out, 5), f6 = frameLine(r.out, 6),
                      f10 = frameLine(r.out, 10), f3 = frameLine(r.out, 3);
    EXPECT_NE(f0.find("Direction=0.0\xC2\xB0"), std::string::npos) << f0;
    EXPECT_NE(f10.find("Direction=90.0\xC2\xB0"), std::string::npos) << f10;
    EXPECT_NE(f5.find("Direction=45.0\xC2\xB0"), std::string::npos) << f5;  // linear between keys
    EXPECT_NE(f0.find("Easing=Quad;"), std::string::npos) << f0;
    EXPECT_NE(f5.find("Easing=Quad;"), std::string::npos) << f5;  // popups hold
    EXPECT_NE(f6.find("Easing=Sine;"), std::string::npos) << f6;
    EXPECT_NE(f0.find("Width=10.00;"), std::string::npos) << f0;  // before the first key
    EXPECT_NE(f3.find("Width=20.00;"), std::string::npos) << f3;
    EXPECT_NE(f10.find("Width=30.00;"), std::string::npos) << f10;  // after the last key
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
        const vtest::ToolRun r = run(full);
        ASSERT_EQ(r.status, 0) << args[2] << ": " << r.err;
        EXPECT_EQ(storedType(args[2]), type) << args[2];
    }
}

TEST_F(RenderTest, ContactSheetHoldsEveryFrame) {
    writeInput("in.png", 40, 30);
    const vtest::ToolRun r = run(
        {"render", "in.png", "-o", "f%d.png", "--frames", "3-7", "--contact-sheet", "sheet.png", "--quiet"});
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
    const vtest::ToolRun r = run({"demo", "-o", "show"});
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
    const vtest::ToolRun v = run({"demo", "-o", "again", "-v", "-q"});
    ASSERT_EQ(v.status, 0) << v.err;
    const std::string first = frameLine(v.out, 1);
    for (const char* part :
         {"Mode=Both;", "State=Move;", "Direction=30.0\xC2\xB0;", "Easing=Cubic;", "Completion=0.0%;"})
        EXPECT_NE(first.find(part), std::string::npos) << first;
    EXPECT_NE(frameLine(v.out, 48).find("Completion=100.0%;"), std::string::npos);
}

TEST_F(RenderTest, DemoRefusesAFolderItCannotMake) {
    { std::ofstream(path("taken")) << "a file"; }
    expectRefused({"demo", "-o", "taken/demo"}, 1, "cannot make the folder");
}

namespace {

// An input with every kind of pixel: opaque, translucent, transparent with colour, at each depth.
vhost::Image varied(vhost::Depth depth, int w = 23, int h = 17) {
    vhost::Image e(w, h, vhost::Depth::Bits8);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            e.at<PF_Pixel>(x, y) =
                PF_Pixel{static_cast<A_u_char>((x * 37 + y * 11) % 256), static_cast<A_u_char>(x * 11),
                         static_cast<A_u_char>(y * 15), static_cast<A_u_char>((x * y) % 256)};
    if (depth == vhost::Depth::Bits8) return e;
    vhost::Image out(w, h, depth);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const PF_Pixel p = e.at<PF_Pixel>(x, y);
            if (depth == vhost::Depth::Bits16)
                out.at<PF_Pixel16>(x, y) = PF_Pixel16{
                    static_cast<A_u_short>(p.alpha * 128 + x), static_cast<A_u_short>(p.red * 128 + y),
                    static_cast<A_u_short>(p.green * 128), static_cast<A_u_short>(p.blue * 128)};
            else
                out.at<PF_PixelFloat>(x, y) = PF_PixelFloat{p.alpha / 255.0f, p.red / 250.0f + 0.001f * x,
                                                            p.green / 255.0f, p.blue / 300.0f};
        }
    return out;
}

struct DepthCase {
    vhost::Depth depth;
    const char* file;
};

// Float in TIFF, which stores straight alpha as the host does: translucent float pixels pass through
// a file exactly (OpenEXR premultiplies them; its own tests are in the alpha tests).
const DepthCase kDepths[] = {
    {vhost::Depth::Bits8, "in.png"}, {vhost::Depth::Bits16, "in.png"}, {vhost::Depth::Float32, "in.tif"}};

}  // namespace

TEST_F(RenderTest, CompletionZeroWritesTheInputUnchanged) {
    for (const DepthCase& c : kDepths) {
        const vhost::Image input = varied(c.depth);
        std::ostringstream ignored;
        Notes notes(ignored);
        writeImage(path(c.file), input, notes);
        const std::string out = std::string("zero.") + (c.depth == vhost::Depth::Float32 ? "tif" : "png");
        const vtest::ToolRun r =
            run({"render", c.file, "-o", out, "--set", "Completion=0", "--set", "State=Move"});
        ASSERT_EQ(r.status, 0) << r.err;
        const LoadedImage back = readImage(path(out), std::nullopt);
        EXPECT_EQ(back.image.depth, c.depth);
        EXPECT_EQ(back.image.bytes, input.bytes) << depthName(c.depth);
    }
}

TEST_F(RenderTest, FullCompletionIsTransparentAndUnderShowsTheBackground) {
    for (const DepthCase& c : kDepths) {
        const vhost::Image input = varied(c.depth);
        std::ostringstream ignored;
        Notes notes(ignored);
        writeImage(path(c.file), input, notes);
        const std::string ext = c.depth == vhost::Depth::Float32 ? ".exr" : ".png";
        ASSERT_EQ(run({"render", c.file, "-o", "clear" + ext, "--set", "Completion=100"}).status, 0);
        const LoadedImage clear = readImage(path("clear" + ext), std::nullopt);
        EXPECT_TRUE(std::all_of(clear.image.bytes.begin(), clear.image.bytes.end(), [](std::uint8_t b) {
            return b == 0;
        })) << depthName(c.depth);

        // Over a colour: the colour, converted to the depth as the host fills.
        ASSERT_EQ(run({"render", c.file, "-o", "col" + ext, "--set", "Completion=100", "--under", "#336699"})
                      .status,
                  0);
        const LoadedImage col = readImage(path("col" + ext), std::nullopt);
        EXPECT_EQ(col.image.bytes,
                  solidImage(input.width, input.height, c.depth, PF_Pixel{255, 0x33, 0x66, 0x99}).bytes)
            << depthName(c.depth);

        // Over an image of the same size: that image, exactly.
        const vhost::Image opaque = toDepth(demoBackground(input.width, input.height), c.depth);
        writeImage(path("back" + ext), opaque, notes);
        ASSERT_EQ(
            run({"render", c.file, "-o", "over" + ext, "--set", "Completion=100", "--under", "back" + ext})
                .status,
            0);
        EXPECT_EQ(readImage(path("over" + ext), std::nullopt).image.bytes, opaque.bytes)
            << depthName(c.depth);

        // And at Completion 0 an opaque input hides the background entirely.
        const vhost::Image solid = toDepth(demoForeground(input.width, input.height), c.depth);
        writeImage(path("solid" + ext), solid, notes);
        ASSERT_EQ(run({"render", "solid" + ext, "-o", "hide" + ext, "--under", "back" + ext}).status, 0);
        EXPECT_EQ(readImage(path("hide" + ext), std::nullopt).image.bytes, solid.bytes) << depthName(c.depth);
    }
}

TEST_F(RenderTest, FramesEqualTheHostsOwnRender) {
    // The tool adds nothing between the host's render and the file: the bytes a user gets are the
    // host's, at every depth, with animated controls, quality and downsampling.
    struct Case {
        DepthCase depth;
        const char* quality;
        AEGP_LayerQuality layerQuality;
        int downsample;
    };
    const Case cases[] = {{kDepths[0], "best", AEGP_LayerQual_BEST, 1},
                          {kDepths[1], "draft", AEGP_LayerQual_DRAFT, 1},
                          {kDepths[2], "best", AEGP_LayerQual_BEST, 2},
                          {kDepths[0], "wireframe", AEGP_LayerQual_WIREFRAME, 3}};
    for (const Case& c : cases) {
        const vhost::Image input = varied(c.depth.depth, 41, 29);
        std::ostringstream ignored;
        Notes notes(ignored);
        writeImage(path(c.depth.file), input, notes);
        const std::string ext = c.depth.depth == vhost::Depth::Float32 ? ".tif" : ".png";
        const vtest::ToolRun r = run({"render",       c.depth.file,
                                      "-o",           "f%d" + ext,
                                      "--frames",     "2-4",
                                      "--quality",    c.quality,
                                      "--downsample", std::to_string(c.downsample),
                                      "--set",        "Mode=Both",
                                      "--set",        "State=Shrink",
                                      "--set",        "Width=6.5",
                                      "--set",        "Easing=Quad",
                                      "--set",        "Outside=Tile",
                                      "--key",        "Direction=10@2,70@4",
                                      "--threads",    "2"});
        ASSERT_EQ(r.status, 0) << r.err;

        vhost::Host host(vhost::Host::Options{2});
        std::string error;
        auto module = vhost::Module::load(VELMOR_MODULE_PATH, error);
        ASSERT_TRUE(module) << error;
        vhost::Effect effect(host, module);
        ASSERT_EQ(effect.globalSetup(), PF_Err_NONE);
        ASSERT_EQ(effect.paramsSetup(), PF_Err_NONE);
        ASSERT_TRUE(effect.setValue(1, 2));    // Mode Both
        ASSERT_TRUE(effect.setValue(11, 3));   // State Shrink
        ASSERT_TRUE(effect.setValue(4, 6.5));  // Width
        ASSERT_TRUE(effect.setValue(9, 2));    // Easing Quad
        ASSERT_TRUE(effect.setValue(12, 3));   // Outside Tile
        ASSERT_TRUE(effect.setKeyframe(5, effect.frameTime(2), 10));
        ASSERT_TRUE(effect.setKeyframe(5, effect.frameTime(4), 70));
        ASSERT_TRUE(effect.setKeyframe(2, effect.frameTime(2), 0));
        ASSERT_TRUE(effect.setKeyframe(2, effect.frameTime(4), 100));
        for (int frame = 2; frame <= 4; ++frame) {
            vhost::RenderOptions options;
            options.time = effect.frameTime(frame).value;
            options.quality = c.layerQuality;
            options.downsampleX = options.downsampleY = c.downsample;
            vhost::Image expected;
            ASSERT_EQ(vhost::renderFrame(effect, input, expected, options), PF_Err_NONE);
            const LoadedImage got = readImage(path("f" + std::to_string(frame) + ext), std::nullopt);
            ASSERT_EQ(got.image.width, expected.width);
            ASSERT_EQ(got.image.height, expected.height);
            EXPECT_EQ(got.image.depth, c.depth.depth);
            EXPECT_EQ(got.image.bytes, expected.bytes)
                << depthName(c.depth.depth) << " " << c.quality << " frame " << frame;
        }
        // Frame 3 is inside the transition: the comparison is not between two copies of the input.
        const LoadedImage mid = readImage(path("f3" + ext), std::nullopt);
        EXPECT_NE(mid.image.bytes, readImage(path("f2" + ext), std::nullopt).image.bytes);
        EXPECT_NE(mid.image.bytes, readImage(path("f4" + ext), std::nullopt).image.bytes);
    }
}

TEST_F(RenderTest, ProgressBarOnlyOnATerminalAndOnlyForSeveralFrames) {
    writeInput("in.png");
    // stderr to a file: nothing but errors.
    vtest::ToolRun r = run({"render", "in.png", "-o", "f%d.png", "--frames", "1-3"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(r.err.empty()) << r.err;
    // On a terminal (script(1) gives the program one): a bar, unless silenced or one frame.
    auto onTerminal = [&](const std::string& args) {
        const std::string inner = "cd " + vtest::shellQuote(dir_.string()) + " && " +
                                  vtest::shellQuote(VELMORBLIND_EXE) + " " + args;
        const std::string cmd = "script -q -e -c " + vtest::shellQuote(inner) + " /dev/null > " +
                                vtest::shellQuote(path("screen.txt")) + " 2>&1 </dev/null";
        EXPECT_EQ(std::system(cmd.c_str()), 0) << args;
        const std::string screen = vtest::slurp(path("screen.txt"));
        fs::remove(path("screen.txt"));
        return screen;
    };
    const std::string bar = onTerminal("render in.png -o g%d.png --frames 1-3");
    EXPECT_NE(bar.find("] 3/3 done"), std::string::npos) << bar;
    EXPECT_NE(bar.find("] 1/3 g2.png"), std::string::npos) << bar;
    EXPECT_EQ(onTerminal("render in.png -o h%d.png --frames 1-3 --quiet").find('['), std::string::npos);
    EXPECT_EQ(onTerminal("render in.png -o one.png").find('['), std::string::npos);
    EXPECT_TRUE(fs::exists(path("h3.png")));
}
