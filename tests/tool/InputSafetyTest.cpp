// The program trusts an input only when it is a whole image file, and reads alpha as each format
// stores it: run as a user runs it.
#include "PixelConvert.h"
#include "ToolRunner.h"

#include <OpenImageIO/deepdata.h>
#include <OpenImageIO/imageio.h>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>

namespace fs = std::filesystem;
using vtest::ToolRun;

namespace {

class InputSafetyTest : public vtest::ToolTest {
protected:
    // Writes channel data with OpenImageIO directly; `layout` says how alpha is marked.
    template <typename T>
    void writeRaw(const std::string& name, OIIO::ImageSpec layout, const std::vector<T>& data) {
        auto out = OIIO::ImageOutput::create(path(name));
        ASSERT_TRUE(out);
        ASSERT_TRUE(out->open(path(name), layout));
        ASSERT_TRUE(out->write_image(layout.format, data.data()));
        ASSERT_TRUE(out->close());
    }
    template <typename T>
    std::vector<T> readRaw(const std::string& name, OIIO::TypeDesc type, OIIO::ImageSpec* header = nullptr,
                           bool asStored = true) {
        OIIO::ImageSpec config;
        if (asStored) config.attribute("oiio:UnassociatedAlpha", 1);
        auto in = OIIO::ImageInput::open(path(name), &config);
        EXPECT_TRUE(in) << name;
        if (!in) return {};
        if (header) *header = in->spec();
        std::vector<T> data(static_cast<std::size_t>(in->spec().image_pixels()) * in->spec().nchannels);
        EXPECT_TRUE(in->read_image(0, 0, 0, in->spec().nchannels, type, data.data()));
        return data;
    }
};

std::uint32_t pngCrc(const std::string& bytes) {
    std::uint32_t c = 0xffffffffu;
    for (unsigned char b : bytes) {
        c ^= b;
        for (int k = 0; k < 8; ++k) c = (c >> 1) ^ (0xedb88320u & (0u - (c & 1u)));
    }
    return ~c;
}

}  // namespace

TEST_F(InputSafetyTest, CutShortFilesOfEveryFormatFail) {
    vhost::Image image(96, 96, vhost::Depth::Bits8);
    for (std::size_t i = 0; i < image.bytes.size(); ++i)
        image.bytes[i] = static_cast<std::uint8_t>(i * 7 + i / 97);
    std::ostringstream ignored;
    vblind::Notes notes(ignored);
    for (const char* name : {"whole.jpg", "whole.tif", "whole.png", "whole.exr"}) {
        vblind::writeImage(path(name), image, notes);
        const std::string cut = std::string("cut") + fs::path(name).extension().string();
        fs::copy_file(path(name), path(cut));
        fs::resize_file(path(cut), fs::file_size(path(name)) * 6 / 10);
        ASSERT_EQ(run({"render", name, "-o", "fine.png"}).status, 0) << name;
        expectRefused({"render", cut, "-o", "out.png"}, 1, "damaged or cut short");
    }
}

TEST_F(InputSafetyTest, DevicesPipesAndDeepImagesAreRefusedByName) {
    // A probe would read /dev/zero forever and wait on a pipe for a writer: neither is opened.
    expectRefused({"render", "/dev/zero", "-o", "z.png"}, 1, "character device");
    ASSERT_EQ(mkfifo(path("pipe.png").c_str(), 0600), 0);
    expectRefused({"render", "pipe.png", "-o", "z.png"}, 1, "a pipe (FIFO)");

    OIIO::ImageSpec deep(4, 4, 4, OIIO::TypeDesc::FLOAT);
    deep.deep = true;
    auto out = OIIO::ImageOutput::create(path("deep.exr"));
    ASSERT_TRUE(out && out->open(path("deep.exr"), deep));
    OIIO::DeepData samples(deep);
    ASSERT_TRUE(out->write_deep_image(samples) && out->close());
    expectRefused({"render", "deep.exr", "-o", "z.png"}, 1, "deep OpenEXR image");
}

TEST_F(InputSafetyTest, DeclaredSizeIsBoundedAndALyingHeaderCostsNoMemory) {
    // 69 bytes that claim 29999 x 29999 RGBA pixels (3.4 GiB) and then end.
    auto chunk = [](const std::string& type, const std::string& data) {
        std::string c(4, '\0');
        for (int i = 0; i < 4; ++i) c[i] = static_cast<char>(data.size() >> (24 - 8 * i));
        const std::string body = type + data;
        const std::uint32_t crc = pngCrc(body);
        for (int i = 0; i < 4; ++i) c += static_cast<char>(crc >> (24 - 8 * i));
        return c.insert(4, body);
    };
    const std::string side("\x00\x00\x75\x2f", 4), idat("\x78\x9c\x63\x60\x80\x01\x00\x00\x0a\x00\x01", 11);
    std::ofstream(path("liar.png"), std::ios::binary)
        << "\x89PNG\r\n\x1a\n"
        << chunk("IHDR", side + side + std::string("\x08\x06\x00\x00\x00", 5)) << chunk("IDAT", idat)
        << chunk("IEND", "");
    // And a JPEG that claims 12000 x 12000 over the data of 16 x 16, read as float (2.1 GiB): the
    // decoder runs out of data in the first rows, and the picture's memory was never touched.
    writeInput("small.jpg", 16, 16);
    std::string jpeg = vtest::slurp(path("small.jpg"));
    const std::size_t frame = jpeg.find("\xff\xc0");
    ASSERT_NE(frame, std::string::npos);
    jpeg.replace(frame + 5, 4, std::string("\x2e\xe0\x2e\xe0", 4));
    std::ofstream(path("liar.jpg"), std::ios::binary) << jpeg;
    for (const char* liar : {"liar.png", "liar.jpg"}) {
        int status = -1;
        const long kb = vtest::peakKilobytes({VELMORBLIND_EXE, "render", path(liar), "-o", path("o.png"),
                                              "--depth", "32", "--max-memory", "64G"},
                                             status);
        EXPECT_EQ(status, 1) << liar;
        EXPECT_LT(kb, 1024 * 1024) << liar << ": peak " << kb << " KiB";
        expectRefused({"render", liar, "-o", "o.png", "--max-memory", "64G"}, 1, "damaged or cut short");
    }

    expectRefused({"render", "liar.png", "-o", "o.png", "--max-memory", "1G"}, 1,
                  "over the memory limit of 1.0 GiB");
    writeInput("small.png", 64, 64);  // 16 KiB of pixels
    expectRefused({"render", "small.png", "-o", "o.png", "--max-memory", "8k"}, 1, "memory limit");
    EXPECT_EQ(run({"render", "small.png", "-o", "o.png", "--max-memory", "16K"}).status, 0);
    expectRefused({"render", "small.png", "-o", "p.png", "--max-memory", "lots"}, 2, "--max-memory");
}

TEST_F(InputSafetyTest, AssociatedExrComesOutStraightAndStraightPngGoesInAssociated) {
    // OpenEXR premultiplies: stored (0.25, 0.125, 0.375 | 0.5) is straight (0.5, 0.25, 0.75).
    OIIO::ImageSpec exr(2, 1, 4, OIIO::TypeDesc::FLOAT);
    exr.alpha_channel = 3;
    exr.x = 7;
    exr.y = 3;
    exr.full_width = 20;
    exr.full_height = 10;
    writeRaw<float>("in.exr", exr, {0.25f, 0.125f, 0.375f, 0.5f, 0.0f, 0.0f, 0.0f, 0.0f});
    ToolRun r = run({"render", "in.exr", "-o", "out.png", "--set", "Completion=0", "--depth", "8"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(readRaw<std::uint8_t>("out.png", OIIO::TypeDesc::UINT8),
              (std::vector<std::uint8_t>{128, 64, 191, 128, 0, 0, 0, 0}));
    // The position of the pixels in their frame survives into OpenEXR and TIFF.
    for (const char* name : {"out.exr", "out.tif"}) {
        ASSERT_EQ(run({"render", "in.exr", "-o", name, "--set", "Completion=0"}).status, 0) << name;
        OIIO::ImageSpec header;
        readRaw<float>(name, OIIO::TypeDesc::FLOAT, &header);
        EXPECT_EQ(header.x, 7) << name;
        EXPECT_EQ(header.y, 3) << name;
        EXPECT_EQ(header.full_width, 20) << name;
    }

    // Straight PNG in, OpenEXR out: colour multiplied by alpha, and nothing left where alpha is 0.
    OIIO::ImageSpec png(2, 1, 4, OIIO::TypeDesc::UINT8);
    png.alpha_channel = 3;
    png.attribute("oiio:UnassociatedAlpha", 1);
    writeRaw<std::uint8_t>("in.png", png, {200, 100, 50, 128, 255, 255, 255, 0});
    r = run({"render", "in.png", "-o", "back.exr", "--set", "Completion=0"});
    ASSERT_EQ(r.status, 0) << r.err;
    const std::vector<float> stored = readRaw<float>("back.exr", OIIO::TypeDesc::FLOAT);
    ASSERT_EQ(stored.size(), 8u);
    const float a = 128 / 255.0f;
    EXPECT_EQ(stored[0], 200 / 255.0f * a);
    EXPECT_EQ(stored[2], 50 / 255.0f * a);
    EXPECT_EQ(stored[3], a);
    EXPECT_EQ(std::vector<float>(stored.begin() + 4, stored.end()), std::vector<float>(4, 0.0f));
}

TEST_F(InputSafetyTest, TiffAlphaIsWhatItsTagSays) {
    // Marked associated: premultiplied colour. Written back straight and marked so, it looks the
    // same to any reader that honours the mark (OpenImageIO premultiplies it again on reading).
    OIIO::ImageSpec assoc(4, 1, 4, OIIO::TypeDesc::UINT8);
    assoc.alpha_channel = 3;
    const std::vector<std::uint8_t> premultiplied = {100, 50, 3, 128, 255, 255, 255, 255,
                                                     9,   1,  0, 10,  0,   0,   0,   0};
    writeRaw("pre.tif", assoc, premultiplied);
    ASSERT_EQ(run({"render", "pre.tif", "-o", "out.tif", "--set", "Completion=0"}).status, 0);
    OIIO::ImageSpec header;
    const auto straight = readRaw<std::uint8_t>("out.tif", OIIO::TypeDesc::UINT8, &header);
    EXPECT_EQ(header.get_int_attribute("oiio:UnassociatedAlpha"), 1);
    EXPECT_EQ(straight[0], 199);  // 100 / (128 / 255)
    const auto seen = readRaw<std::uint8_t>("out.tif", OIIO::TypeDesc::UINT8, nullptr, false);
    for (std::size_t i = 0; i < seen.size(); ++i) EXPECT_NEAR(seen[i], premultiplied[i], 1) << i;

    // A fourth channel not marked as alpha: the picture is opaque and the channel is named as dropped.
    OIIO::ImageSpec rgbx(2, 1, 4, OIIO::TypeDesc::UINT8);
    rgbx.alpha_channel = -1;
    writeRaw<std::uint8_t>("rgbx.tif", rgbx, {10, 20, 30, 0, 40, 50, 60, 0});
    const ToolRun r = run({"render", "rgbx.tif", "-o", "x.png", "--set", "Completion=0"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("(channel3): they are left out"), std::string::npos) << r.err;
    EXPECT_EQ(readRaw<std::uint8_t>("x.png", OIIO::TypeDesc::UINT8),
              (std::vector<std::uint8_t>{10, 20, 30, 255, 40, 50, 60, 255}));
}
