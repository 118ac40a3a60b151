// Image files through OpenImageIO: depths kept, exact conversions, straight alpha, refusals.
#include "Error.h"
#include "FileFormat.h"
#include "ImageIO.h"
#include "Notes.h"
#include "PixelConvert.h"
#include "ScratchDir.h"

#include <OpenEXR/ImfArray.h>
#include <OpenEXR/ImfHeader.h>
#include <OpenEXR/ImfRgbaFile.h>
#include <OpenImageIO/imageio.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <filesystem>
#include <random>
#include <span>
#include <sstream>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;
using namespace vblind;
using namespace vsession;

// OpenImageIO's PNG reader leaks its error text when libpng long-jumps out of a damaged file (a few
// bytes per failed read, never on a good file). This test reads damaged files on
// purpose, so leak checking is told about that one place; everything else stays checked.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:OpenImageIO_v2_4::PNGInput::PngReadCallback\n";
}
// The library is built without frame pointers: a leak's allocation stack reaches that place only
// with the slower full unwinder.
extern "C" const char* __asan_default_options() { return "fast_unwind_on_malloc=0"; }

namespace {

class ImageIOTest : public ::testing::Test {
protected:
    std::string path(const std::string& name) const { return (dir_ / name).string(); }
    // Files in the folder (to prove no temporary file was left behind).
    std::vector<std::string> listing() const {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(dir_)) names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
    // Writes raw channel data with OpenImageIO directly, bypassing the tool.
    template <typename T>
    void writeRaw(const std::string& name, int w, int h, int channels, OIIO::TypeDesc type,
                  const std::vector<T>& data) {
        auto out = OIIO::ImageOutput::create(path(name));
        ASSERT_TRUE(out);
        OIIO::ImageSpec layout(w, h, channels, type);
        if (channels == 4 || channels == 2) layout.alpha_channel = channels - 1;
        layout.attribute("oiio:UnassociatedAlpha", 1);
        ASSERT_TRUE(out->open(path(name), layout));
        ASSERT_TRUE(out->write_image(type, data.data()));
        ASSERT_TRUE(out->close());
    }
    std::string expectRefused(const std::string& file, const std::string& fragment) {
        try {
            readImage(path(file), std::nullopt);
        } catch (const ToolError& e) {
            EXPECT_EQ(e.status(), kExitFailure);
            EXPECT_NE(std::string(e.what()).find(fragment), std::string::npos) << e.what();
            EXPECT_EQ(std::string(e.what()).find('\n'), std::string::npos) << e.what();
            return e.what();
        }
        ADD_FAILURE() << file << " was accepted";
        return {};
    }

    const vtest::ScratchDir scratch_{"velmorblind-io"};
    const fs::path dir_ = scratch_.path();
    OIIO::ImageSpec straight_ = [] {
        OIIO::ImageSpec config;
        config.attribute("oiio:UnassociatedAlpha", 1);  // read files as stored, not premultiplied
        return config;
    }();
    std::ostringstream noteText_;
    Notes notes_{noteText_};
};

// Every host 16-bit value 0..32768 in one image (the rest full scale), channels all different.
vhost::Image allSixteenBitValues() {
    vhost::Image image(257, 128, vhost::Depth::Bits16);
    PF_Pixel16* p = image.pixels<PF_Pixel16>();
    for (int i = 0; i < image.width * image.height; ++i) {
        const auto v = static_cast<A_u_short>(std::min(i, 32768));
        p[i] = PF_Pixel16{v, static_cast<A_u_short>(32768 - v), static_cast<A_u_short>((v * 7) % 32769),
                          static_cast<A_u_short>((v * 13) % 32769)};
    }
    return image;
}

}  // namespace

TEST_F(ImageIOTest, SixteenBitFilesRoundTripEveryHostValue) {
    const vhost::Image image = allSixteenBitValues();
    for (const char* name : {"all.png", "all.tif"}) {
        writeImage(path(name), image, notes_);
        const LoadedImage back = readImage(path(name), std::nullopt);
        EXPECT_EQ(back.fileDepth, vhost::Depth::Bits16) << name;
        EXPECT_EQ(back.image.depth, vhost::Depth::Bits16) << name;
        ASSERT_EQ(back.image.bytes, image.bytes) << name;
    }
    // And the file holds the saved values, not the host's: full scale is 65535.
    auto in = OIIO::ImageInput::open(path("all.png"), &straight_);
    ASSERT_TRUE(in);
    std::vector<std::uint16_t> raw(257 * 128 * 4);
    ASSERT_TRUE(in->read_image(0, 0, 0, 4, OIIO::TypeDesc::UINT16, raw.data()));
    EXPECT_EQ(raw[0 * 4 + 3], 0);          // alpha 0
    EXPECT_EQ(raw[1 * 4 + 3], 2);          // alpha 1 -> 2
    EXPECT_EQ(raw[16384 * 4 + 3], 32768);  // alpha 16384
    EXPECT_EQ(raw[32768 * 4 + 3], 65535);  // alpha 32768
    EXPECT_EQ(raw[0 * 4 + 0], 65535);      // red 32768
    EXPECT_TRUE(noteText_.str().empty()) << noteText_.str();
}

TEST_F(ImageIOTest, SixteenBitFileValuesLoadWithTheRoundingUpFormula) {
    std::vector<std::uint16_t> raw = {0, 1, 2, 65535, 32767, 32768, 65534, 1000};
    writeRaw("few.png", 2, 1, 4, OIIO::TypeDesc::UINT16, raw);
    const LoadedImage back = readImage(path("few.png"), std::nullopt);
    const PF_Pixel16* p = back.image.pixels<PF_Pixel16>();
    EXPECT_EQ(p[0].red, 0);
    EXPECT_EQ(p[0].green, 1);
    EXPECT_EQ(p[0].blue, 1);
    EXPECT_EQ(p[0].alpha, 32768);
    EXPECT_EQ(p[1].red, 16384);
    EXPECT_EQ(p[1].green, 16384);
    EXPECT_EQ(p[1].blue, 32767);
    EXPECT_EQ(p[1].alpha, px::hostFromFile16(1000));
}

TEST_F(ImageIOTest, EightBitFilesKeepDepthAndStraightAlpha) {
    vhost::Image image(3, 2, vhost::Depth::Bits8);
    PF_Pixel* p = image.pixels<PF_Pixel>();
    p[0] = PF_Pixel{0, 200, 100, 50};  // invisible colour must survive: nothing premultiplied
    p[1] = PF_Pixel{1, 255, 254, 3};
    p[2] = PF_Pixel{128, 9, 99, 199};
    p[3] = PF_Pixel{255, 0, 0, 0};
    p[4] = PF_Pixel{77, 255, 255, 255};
    p[5] = PF_Pixel{254, 1, 2, 3};
    for (const char* name : {"e.png", "e.tif"}) {
        writeImage(path(name), image, notes_);
        const LoadedImage back = readImage(path(name), std::nullopt);
        EXPECT_EQ(back.fileDepth, vhost::Depth::Bits8) << name;
        EXPECT_EQ(back.image.bytes, image.bytes) << name;
    }
}

TEST_F(ImageIOTest, FloatFilesAre32BitAndExact) {
    vhost::Image image(2, 2, vhost::Depth::Float32);
    PF_PixelFloat* p = image.pixels<PF_PixelFloat>();
    p[0] = PF_PixelFloat{0x1.fffffep-1f, 0x1.000002p-20f, 2.5f, -0.25f};  // values half cannot hold
    p[1] = PF_PixelFloat{0.0f, 1e-30f, 0x1.99999ap-3f, 1.0f};
    p[2] = PF_PixelFloat{1.0f, 0x1.234568p+3f, 0.0f, 0x1.fffffep-2f};
    p[3] = PF_PixelFloat{0.5f, 0.1f, 0.2f, 0.3f};
    // OpenEXR stores colour premultiplied by alpha: every value comes back exactly where alpha is 1.
    vhost::Image opaque = image;
    for (int i = 0; i < 4; ++i) opaque.pixels<PF_PixelFloat>()[i].alpha = 1.0f;
    for (const char* name : {"f.exr", "f.tif"}) {
        const vhost::Image& sent = std::string(name) == "f.exr" ? opaque : image;
        writeImage(path(name), sent, notes_);
        auto in = OIIO::ImageInput::open(path(name));
        ASSERT_TRUE(in);
        EXPECT_EQ(in->spec_dimensions(0).format, OIIO::TypeDesc::FLOAT)
            << name << " was written as " << in->spec_dimensions(0).format;
        in.reset();
        const LoadedImage back = readImage(path(name), std::nullopt);
        EXPECT_EQ(back.fileDepth, vhost::Depth::Float32) << name;
        ASSERT_EQ(back.image.depth, vhost::Depth::Float32);
        EXPECT_EQ(0, std::memcmp(back.image.bytes.data(), sent.bytes.data(), sent.bytes.size())) << name;
    }
    EXPECT_TRUE(noteText_.str().empty()) << noteText_.str();
}

TEST_F(ImageIOTest, DepthOptionConvertsOnLoad) {
    std::vector<std::uint8_t> eight = {0, 1, 127, 128, 254, 255, 51, 200};
    writeRaw("e.png", 2, 1, 4, OIIO::TypeDesc::UINT8, eight);
    const vhost::Image as16 = readImage(path("e.png"), vhost::Depth::Bits16).image;
    ASSERT_EQ(as16.depth, vhost::Depth::Bits16);
    const PF_Pixel16* s = as16.pixels<PF_Pixel16>();
    EXPECT_EQ(s[0].red, 0);
    EXPECT_EQ(s[0].green, 129);
    EXPECT_EQ(s[0].blue, 16320);
    EXPECT_EQ(s[0].alpha, 16448);
    EXPECT_EQ(s[1].red, 32639);
    EXPECT_EQ(s[1].green, 32768);
    const vhost::Image asFloat = readImage(path("e.png"), vhost::Depth::Float32).image;
    const PF_PixelFloat* f = asFloat.pixels<PF_PixelFloat>();
    EXPECT_EQ(f[0].green, 0x1.010102p-8f);
    EXPECT_EQ(f[1].green, 1.0f);
    EXPECT_EQ(f[1].blue, 0x1.99999ap-3f);

    std::vector<std::uint16_t> sixteen = {65535, 1, 0, 32768};
    writeRaw("s.png", 1, 1, 4, OIIO::TypeDesc::UINT16, sixteen);
    const vhost::Image s2f = readImage(path("s.png"), vhost::Depth::Float32).image;
    EXPECT_EQ(s2f.pixels<PF_PixelFloat>()[0].red, 1.0f);
    EXPECT_EQ(s2f.pixels<PF_PixelFloat>()[0].green, 0x1.0001p-16f);
    EXPECT_EQ(s2f.pixels<PF_PixelFloat>()[0].alpha, 32768.0f / 65535.0f);
}

TEST_F(ImageIOTest, RgbAndGreyFilesGetFullAlpha) {
    writeRaw("rgb.png", 1, 1, 3, OIIO::TypeDesc::UINT8, std::vector<std::uint8_t>{10, 20, 30});
    const PF_Pixel rgb = readImage(path("rgb.png"), std::nullopt).image.pixels<PF_Pixel>()[0];
    EXPECT_EQ(rgb.alpha, 255);
    EXPECT_EQ(rgb.red, 10);
    EXPECT_EQ(rgb.green, 20);
    EXPECT_EQ(rgb.blue, 30);
    writeRaw("grey.png", 1, 1, 1, OIIO::TypeDesc::UINT16, std::vector<std::uint16_t>{65535});
    const PF_Pixel16 grey = readImage(path("grey.png"), std::nullopt).image.pixels<PF_Pixel16>()[0];
    EXPECT_EQ(grey.alpha, 32768);
    EXPECT_EQ(grey.red, 32768);
    EXPECT_EQ(grey.blue, 32768);
    writeRaw("ga.png", 1, 1, 2, OIIO::TypeDesc::UINT8, std::vector<std::uint8_t>{90, 30});
    const PF_Pixel ga = readImage(path("ga.png"), std::nullopt).image.pixels<PF_Pixel>()[0];
    EXPECT_EQ(ga.alpha, 30);
    EXPECT_EQ(ga.red, 90);
    EXPECT_EQ(ga.green, 90);
}

TEST_F(ImageIOTest, FloatRenderIntoPngIsClampedRoundedAndSaidOnce) {
    vhost::Image image(3, 1, vhost::Depth::Float32);
    PF_PixelFloat* p = image.pixels<PF_PixelFloat>();
    p[0] = PF_PixelFloat{1.0f, -0.5f, 0.5f, 1.7f};
    p[1] = PF_PixelFloat{0.25f, 0.2f, 0.0f, 1.0f};
    p[2] = PF_PixelFloat{0.0f, 0.0f, 0.0f, 0.0f};
    writeImage(path("a.png"), image, notes_);
    writeImage(path("b.png"), image, notes_);
    const std::string said = noteText_.str();
    EXPECT_NE(said.find("clamped"), std::string::npos) << said;
    EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1) << said;

    auto in = OIIO::ImageInput::open(path("a.png"), &straight_);
    ASSERT_TRUE(in);
    const OIIO::TypeDesc type = in->spec_dimensions(0).format;
    ASSERT_TRUE(type == OIIO::TypeDesc::UINT8 || type == OIIO::TypeDesc::UINT16) << type;
    std::vector<std::uint16_t> raw(12);
    ASSERT_TRUE(in->read_image(0, 0, 0, 4, OIIO::TypeDesc::UINT16, raw.data()));
    const unsigned full = type == OIIO::TypeDesc::UINT8 ? 255 : 65535;
    const unsigned widen = 65535 / full;                       // OpenImageIO widens 8-bit reads by 257
    EXPECT_EQ(raw[0], 0u);                                     // -0.5 clamps to 0
    EXPECT_EQ(raw[1], (full == 255 ? 128u : 32768u) * widen);  // 0.5 rounds up
    EXPECT_EQ(raw[2], full * widen);                           // 1.7 clamps to 1
    EXPECT_EQ(raw[4], (full == 255 ? 51u : 13107u) * widen);   // 0.2
    EXPECT_EQ(raw[7], (full == 255 ? 64u : 16384u) * widen);   // alpha 0.25 (63.75 and 16383.75 round up)
}

TEST_F(ImageIOTest, JpegLosesAlphaAndSaysSo) {
    vhost::Image image(2, 2, vhost::Depth::Bits16);
    for (int i = 0; i < 4; ++i) image.pixels<PF_Pixel16>()[i] = PF_Pixel16{16384, 32768, 0, 16384};
    writeImage(path("j.jpg"), image, notes_);
    const std::string said = noteText_.str();
    EXPECT_NE(said.find("alpha"), std::string::npos) << said;
    EXPECT_NE(said.find("8 bits"), std::string::npos) << said;
    EXPECT_TRUE(fs::exists(path("j.jpg")));
}

TEST_F(ImageIOTest, WritingLeavesOnlyTheFinishedFile) {
    vhost::Image image(4, 4, vhost::Depth::Bits8);
    writeImage(path("done.png"), image, notes_);
    writeImage(path("done.png"), image, notes_);  // replacing an existing file
    EXPECT_EQ(listing(), std::vector<std::string>{"done.png"});
    EXPECT_THROW(writeImage(path("no/such/folder/x.png"), image, notes_), ToolError);
    EXPECT_THROW(checkWritableImage(path("x.unknownformat")), ToolError);
    EXPECT_EQ(listing(), std::vector<std::string>{"done.png"});
}

TEST_F(ImageIOTest, BadInputsAreRefusedWithOneSentence) {
    expectRefused("missing.png", "no such file");
    fs::create_directories(dir_ / "folder.png");
    expectRefused("folder.png", "folder");
    { std::ofstream(path("empty.png")); }
    expectRefused("empty.png", "empty");
    { std::ofstream(path("text.png")) << "this is not a picture\n"; }
    expectRefused("text.png", "not an image");
    // A real PNG cut short: the header survives, the pixels do not.
    vhost::Image image(64, 64, vhost::Depth::Bits8);
    for (std::size_t i = 0; i < image.bytes.size(); ++i) image.bytes[i] = static_cast<std::uint8_t>(i * 31);
    writeImage(path("whole.png"), image, notes_);
    const auto size = fs::file_size(path("whole.png"));
    fs::copy_file(path("whole.png"), path("cut.png"));
    fs::resize_file(path("cut.png"), size / 2);
    expectRefused("cut.png", "damaged or cut short");
}

TEST_F(ImageIOTest, ImagesOverThirtyThousandPixelsASideAreRefused) {
    writeRaw("wide.png", 30001, 1, 3, OIIO::TypeDesc::UINT8, std::vector<std::uint8_t>(30001 * 3, 7));
    expectRefused("wide.png", "30000 pixels on a side");
    writeRaw("tall.png", 1, 30001, 1, OIIO::TypeDesc::UINT8, std::vector<std::uint8_t>(30001, 7));
    expectRefused("tall.png", "30000 pixels on a side");
    writeRaw("edge.png", 30000, 1, 1, OIIO::TypeDesc::UINT8, std::vector<std::uint8_t>(30000, 7));
    EXPECT_EQ(readImage(path("edge.png"), std::nullopt).image.width, 30000);
}

TEST_F(ImageIOTest, OrientationTagsAreAppliedOnReading) {
    // Stored 3 x 2, tagged "turn a quarter clockwise to show": read 2 x 3, the stored first row on the
    // right, top to bottom.
    OIIO::ImageSpec layout(3, 2, 1, OIIO::TypeDesc::UINT8);
    layout.attribute("Orientation", 6);
    auto out = OIIO::ImageOutput::create(path("turned.tif"));
    ASSERT_TRUE(out && out->open(path("turned.tif"), layout));
    const std::vector<std::uint8_t> stored = {1, 2, 3, 4, 5, 6};
    ASSERT_TRUE(out->write_image(OIIO::TypeDesc::UINT8, stored.data()) && out->close());
    const vhost::Image seen = readImage(path("turned.tif"), std::nullopt).image;
    ASSERT_EQ(seen.width, 2);
    ASSERT_EQ(seen.height, 3);
    std::vector<int> reds;
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 2; ++x) reds.push_back(seen.at<PF_Pixel>(x, y).red);
    EXPECT_EQ(reds, (std::vector<int>{4, 1, 5, 2, 6, 3}));
}

// The GIF reader marks alpha as a channel past the last one; alpha is then the fourth channel,
// never a byte of the next pixel. (The GIF writer keeps no transparency: what comes back is opaque.)
TEST_F(ImageIOTest, GifAlphaIsItsOwnChannel) {
    vhost::Image image(2, 1, vhost::Depth::Bits8);
    image.pixels<PF_Pixel>()[0] = PF_Pixel{255, 0, 0, 0};
    image.pixels<PF_Pixel>()[1] = PF_Pixel{255, 40, 80, 120};
    writeImage(path("t.gif"), image, notes_);
    const vhost::Image back = readImage(path("t.gif"), std::nullopt).image;
    EXPECT_EQ(back.pixels<PF_Pixel>()[0].alpha, 255);
    EXPECT_EQ(back.pixels<PF_Pixel>()[1].alpha, 255);
}

TEST_F(ImageIOTest, TallImagesWrittenInBandsReadBackExactlyAtEveryCompression) {
    // Taller than one band of rows at every depth, placed off the origin; TIFF PackBits by default,
    // deflate when a level is given.
    std::mt19937 random(3);
    for (vhost::Depth depth : {vhost::Depth::Bits8, vhost::Depth::Bits16, vhost::Depth::Float32}) {
        vhost::Image image(300, 1100, depth);
        if (depth == vhost::Depth::Float32) {
            // Alpha 1 or 0.5, so that OpenEXR's premultiplied colour comes back exactly.
            for (PF_PixelFloat& p : std::span(image.pixels<PF_PixelFloat>(), image.bytes.size() / 16)) {
                p = PF_PixelFloat{random() % 2 ? 1.0f : 0.5f, static_cast<float>(random() % 1001) / 1000.0f,
                                  static_cast<float>(random() % 1001) / 1000.0f, 0.25f};
            }
        } else if (depth == vhost::Depth::Bits16) {
            for (std::uint16_t& v : std::span(image.pixels<std::uint16_t>(), image.bytes.size() / 2))
                v = static_cast<std::uint16_t>(random() % 32769);
        } else {
            for (std::uint8_t& v : image.bytes) v = static_cast<std::uint8_t>(random());
        }
        image.placement = vhost::Placement{5, 7, 0, 0, 400, 1200};
        for (const char* name : {"t.tif", "t.exr", "t.png"}) {
            if (std::string(name) == "t.exr" && depth != vhost::Depth::Float32) continue;
            if (std::string(name) == "t.png" && depth == vhost::Depth::Float32) continue;
            for (std::optional<int> level : {std::optional<int>(), std::optional<int>(6)}) {
                writeImage(path(name), image, notes_, WriteOptions{level});
                const LoadedImage back = readImage(path(name), std::nullopt);
                EXPECT_EQ(back.image.bytes, image.bytes) << name;
                if (std::string(name) == "t.png") continue;
                EXPECT_EQ(back.image.placement.y, 7) << name;
                auto in = OIIO::ImageInput::open(path(name));
                ASSERT_TRUE(in);
                if (std::string(name) == "t.tif") {
                    EXPECT_EQ(in->spec().get_string_attribute("compression"), level ? "zip" : "packbits");
                }
            }
        }
    }
}

// Each format's row is found by the name the library gives a file of its usual extension, both
// writing and reading; a row the library never names would leave that format to kOtherFormat.
TEST_F(ImageIOTest, EachFormatRowIsTheOneTheLibraryNames) {
    for (const FileFormat& format : kFileFormats) {
        auto out = OIIO::ImageOutput::create(path(std::string("t") + format.extension));
        ASSERT_TRUE(out) << format.extension;
        EXPECT_EQ(&fileFormat(out->format_name()), &format) << format.extension;
        EXPECT_NE(usualExtensions().find(format.extension), std::string::npos);
        writeImage(path(std::string("t") + format.extension), vhost::Image(1, 1, vhost::Depth::Bits8),
                   notes_);
        OIIO::ImageSpec asStored;
        asStored.attribute("oiio:UnassociatedAlpha", 1);
        auto in = OIIO::ImageInput::open(path(std::string("t") + format.extension), &asStored);
        ASSERT_TRUE(in) << format.extension;
        EXPECT_EQ(&fileFormat(in->format_name()), &format) << format.extension;
        // The written header follows the row: integer channels where it holds them; alpha tagged
        // straight where the format tags it, premultiplied where that is its convention.
        EXPECT_EQ(in->spec().format == OIIO::TypeDesc::UINT8, format.integers) << format.extension;
        if (format.alpha != AlphaConvention::Straight) {
            EXPECT_EQ(in->spec().get_int_attribute("oiio:UnassociatedAlpha", 0) != 0,
                      format.alpha == AlphaConvention::Tagged)
                << format.extension;
        }
    }
    EXPECT_EQ(&fileFormat("jpeg"), &kOtherFormat);
    EXPECT_EQ(&fileFormat(""), &kOtherFormat);
}

TEST_F(ImageIOTest, LuminanceChromaExrReadsAsOpenExrConvertsIt) {
    // OpenEXR's own writer stores Y, RY and BY (chroma at half resolution) from RGB(A); its RGBA
    // reader is what "as OpenEXR defines it" means, and our read must give exactly that, made straight.
    const int w = 10, h = 8;  // OpenEXR wants the subsampled chroma to tile the data window
    const Imath::Box2i data(Imath::V2i(4, -2), Imath::V2i(4 + w - 1, -2 + h - 1));  // chroma: even corner
    const Imath::Box2i display(Imath::V2i(0, -4), Imath::V2i(19, 9));
    for (const Imf::RgbaChannels channels : {Imf::WRITE_YC, Imf::WRITE_YCA}) {
        const bool alpha = channels == Imf::WRITE_YCA;
        Imf::Array2D<Imf::Rgba> written(h, w);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                const float a = alpha ? 0.5f : 1.0f;
                written[y][x] = Imf::Rgba(a * (0.1f + 0.08f * x), a * 0.5f, a * (0.2f + 0.1f * y), a);
            }
        const std::string file = path(alpha ? "yca.exr" : "yc.exr");
        {
            Imf::RgbaOutputFile out(file.c_str(), Imf::Header(display, data), channels);
            out.setFrameBuffer(&written[0][0] - data.min.x - data.min.y * w, 1, w);
            out.writePixels(h);
        }
        Imf::Array2D<Imf::Rgba> expected(h, w);
        {
            Imf::RgbaInputFile in(file.c_str());
            in.setFrameBuffer(&expected[0][0] - data.min.x - data.min.y * w, 1, w);
            in.readPixels(data.min.y, data.max.y);
        }
        const LoadedImage loaded = readImage(file, std::nullopt);
        ASSERT_EQ(loaded.image.width, w);
        ASSERT_EQ(loaded.image.height, h);
        EXPECT_EQ(loaded.image.depth, vhost::Depth::Float32);
        EXPECT_EQ(loaded.image.placement.x, 4);
        EXPECT_EQ(loaded.image.placement.y, -2);
        EXPECT_EQ(loaded.image.placement.fullY, -4);
        EXPECT_EQ(loaded.image.placement.fullWidth, 20);
        const PF_PixelFloat* p = loaded.image.pixels<PF_PixelFloat>();
        for (int i = 0; i < w * h; ++i) {
            const Imf::Rgba& e = expected[i / w][i % w];
            const float a = e.a;
            EXPECT_EQ(p[i].alpha, a) << i;
            EXPECT_EQ(p[i].red, px::unassociate(float(e.r), a)) << i;
            EXPECT_EQ(p[i].green, px::unassociate(float(e.g), a)) << i;
            EXPECT_EQ(p[i].blue, px::unassociate(float(e.b), a)) << i;
            // And near what was written: luminance is kept, the chroma only blurred over 2 x 2.
            EXPECT_NEAR(p[i].green, 0.5f, 0.05f) << i;
        }
    }
}

TEST_F(ImageIOTest, TheOpenFileLimitIsNamedNotTakenForDamage) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "the sanitizers' runtime opens files of its own, which a limit at the last free "
                    "descriptor takes from it; the default build runs this";
#endif
    vhost::Image image(8, 8, vhost::Depth::Bits8);
    writeImage(path("good.png"), image, notes_);
    // In a child, whose limit we may lower: the limit set to the lowest free descriptor (none free),
    // then one above it (exactly one free, which reading must leave to the file).
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        const int lowest = ::dup(0);
        ::close(lowest);
        struct rlimit limit {};
        ::getrlimit(RLIMIT_NOFILE, &limit);
        limit.rlim_cur = static_cast<rlim_t>(lowest);
        ::setrlimit(RLIMIT_NOFILE, &limit);
        int failures = 0;
        try {
            readImage(path("good.png"), std::nullopt);
            failures |= 1;
        } catch (const ToolError& e) {
            if (!std::strstr(e.what(),
                             "the file cannot be opened: too many files are open at once (the limit of "
                             "open files, ulimit -n, is"))
                failures |= 2;
        }
        limit.rlim_cur = static_cast<rlim_t>(lowest + 1);
        ::setrlimit(RLIMIT_NOFILE, &limit);
        try {
            readImage(path("good.png"), std::nullopt);
        } catch (const ToolError&) {
            failures |= 4;
        }
        ::_exit(failures);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0)
        << "1: read with no descriptor free; 2: wrong sentence; 4: refused with one "
           "descriptor free";
}
