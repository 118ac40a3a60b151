#include "ImageIO.h"

#include "Error.h"
#include "Notes.h"
#include "OutputFile.h"
#include "PixelConvert.h"
#include "PixelTypes.h"

#include <OpenImageIO/imageio.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <new>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <system_error>
#include <vector>

#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>
#define VBLIND_DUP _dup
#define VBLIND_DUP2 _dup2
#define VBLIND_OPEN _open
#define VBLIND_CLOSE _close
#define VBLIND_FILENO _fileno
#define VBLIND_O_WRONLY _O_WRONLY
static constexpr const char* kNullDevice = "NUL";
#else
#include <fcntl.h>
#include <unistd.h>
#define VBLIND_DUP dup
#define VBLIND_DUP2 dup2
#define VBLIND_OPEN open
#define VBLIND_CLOSE close
#define VBLIND_FILENO fileno
#define VBLIND_O_WRONLY O_WRONLY
static constexpr const char* kNullDevice = "/dev/null";
#endif

namespace vblind {

namespace fs = std::filesystem;
using OIIO::TypeDesc;

namespace {

// Silences the process's stderr for its lifetime. Some image libraries (libpng) print a line of
// their own before OpenImageIO reports the same failure to us.
class QuietStderr {
public:
    QuietStderr() {
        std::fflush(stderr);
        saved_ = VBLIND_DUP(VBLIND_FILENO(stderr));
        const int null = VBLIND_OPEN(kNullDevice, VBLIND_O_WRONLY);
        if (saved_ >= 0 && null >= 0) VBLIND_DUP2(null, VBLIND_FILENO(stderr));
        if (null >= 0) VBLIND_CLOSE(null);
    }
    ~QuietStderr() {
        std::fflush(stderr);
        if (saved_ >= 0) {
            VBLIND_DUP2(saved_, VBLIND_FILENO(stderr));
            VBLIND_CLOSE(saved_);
        }
    }
    QuietStderr(const QuietStderr&) = delete;
    QuietStderr& operator=(const QuietStderr&) = delete;

private:
    int saved_ = -1;
};

// Files are small next to the render, which has the host's worker threads: the image library does
// its work on the calling thread instead of starting pools of its own.
void configureLibrary() {
    static const bool done = [] {
        OIIO::attribute("threads", 1);
        OIIO::attribute("exr_threads", -1);
        return true;
    }();
    (void)done;
}

std::string quoted(const std::string& path) { return "\"" + path + "\""; }

// OpenImageIO's messages may span lines; a sentence for the user must not.
std::string oneLine(std::string text) {
    std::replace(text.begin(), text.end(), '\n', ' ');
    while (!text.empty() && (text.back() == ' ' || text.back() == '.')) text.pop_back();
    return text;
}

std::string oiioError(const std::string& fromObject) {
    std::string text = fromObject.empty() ? OIIO::geterror() : fromObject;
    OIIO::geterror();  // clear what is left
    return oneLine(text);
}

vhost::Depth depthOfFile(TypeDesc format) {
    switch (format.basetype) {
        case TypeDesc::UINT8:
        case TypeDesc::INT8: return vhost::Depth::Bits8;
        case TypeDesc::UINT16:
        case TypeDesc::INT16: return vhost::Depth::Bits16;
        default: return vhost::Depth::Float32;
    }
}

TypeDesc typeOf(vhost::Depth depth) {
    switch (depth) {
        case vhost::Depth::Bits8: return TypeDesc::UINT8;
        case vhost::Depth::Bits16: return TypeDesc::UINT16;
        case vhost::Depth::Float32: break;
    }
    return TypeDesc::FLOAT;
}

// Which file channels become red, green, blue and alpha (-1: full alpha).
struct ChannelMap {
    int red = 0, green = 0, blue = 0, alpha = -1;
};

ChannelMap mapChannels(const OIIO::ImageSpec& layout) {
    ChannelMap map;
    // A reader may mark a channel the file does not have (OpenImageIO's GIF reader says 4 of 4).
    int alpha = layout.alpha_channel < layout.nchannels ? layout.alpha_channel : -1;
    if (alpha < 0 && (layout.nchannels == 2 || layout.nchannels >= 4)) alpha = layout.nchannels == 2 ? 1 : 3;
    std::vector<int> colour;
    for (int c = 0; c < layout.nchannels; ++c)
        if (c != alpha) colour.push_back(c);
    map.alpha = alpha;
    if (colour.size() < 3) {
        map.red = map.green = map.blue = colour.empty() ? 0 : colour[0];  // grey
    } else {
        map.red = colour[0];
        map.green = colour[1];
        map.blue = colour[2];
    }
    return map;
}

template <typename File, typename Pixel>
void fillFromFile(const std::vector<File>& data, int channels, const ChannelMap& map,
                  vhost::Image& out) {
    using Channel = typename PixelTraits<Pixel>::Channel;
    Pixel* dst = out.pixels<Pixel>();
    const std::size_t count = static_cast<std::size_t>(out.width) * out.height;
    const Channel opaque = static_cast<Channel>(PixelTraits<Pixel>::full);
    for (std::size_t i = 0; i < count; ++i) {
        const File* src = data.data() + i * channels;
        dst[i].red = px::toHost<Channel>(src[map.red]);
        dst[i].green = px::toHost<Channel>(src[map.green]);
        dst[i].blue = px::toHost<Channel>(src[map.blue]);
        dst[i].alpha = map.alpha >= 0 ? px::toHost<Channel>(src[map.alpha]) : opaque;
    }
}

// The channel type an opened writer settled on (PNG narrows float to 16 bits, JPEG to 8).
// OpenImageIO hands out an output's layout through one member only; this is the one place that
// asks for it.
TypeDesc typeChosenByWriter(const OIIO::ImageOutput& out) {
    return out.spec().format;
}

template <typename File>
vhost::Image readPixels(OIIO::ImageInput& in, const std::string& path, const std::string& role,
                        vhost::Depth depth) {
    const OIIO::ImageSpec layout = in.spec_dimensions(0);
    std::vector<File> data(static_cast<std::size_t>(layout.width) * layout.height * layout.nchannels);
    const TypeDesc type = std::is_same_v<File, std::uint8_t>    ? TypeDesc::UINT8
                          : std::is_same_v<File, std::uint16_t> ? TypeDesc::UINT16
                                                                : TypeDesc::FLOAT;
    bool ok = false;
    {
        QuietStderr quiet;
        ok = in.read_image(0, 0, 0, layout.nchannels, type, data.data());
    }
    if (!ok)
        failure("cannot read the " + role + " " + quoted(path) + ": the file is damaged or cut short (" +
                oiioError(in.geterror()) + ").");
    vhost::Image image(layout.width, layout.height, depth);
    const ChannelMap map = mapChannels(layout);
    withPixelType(depth, [&](auto pixel) {
        fillFromFile<File, decltype(pixel)>(data, layout.nchannels, map, image);
    });
    return image;
}

template <typename File, typename Pixel>
std::vector<File> toFileOrder(const vhost::Image& image, int channels) {
    std::vector<File> data(static_cast<std::size_t>(image.width) * image.height * channels);
    const Pixel* src = image.pixels<Pixel>();
    const std::size_t count = static_cast<std::size_t>(image.width) * image.height;
    for (std::size_t i = 0; i < count; ++i) {
        File* dst = data.data() + i * channels;
        dst[0] = px::toFile<File>(src[i].red);
        dst[1] = px::toFile<File>(src[i].green);
        dst[2] = px::toFile<File>(src[i].blue);
        if (channels == 4) dst[3] = px::toFile<File>(src[i].alpha);
    }
    return data;
}

std::string formatLabel(const OIIO::ImageOutput& out) {
    std::string name = out.format_name();
    std::transform(name.begin(), name.end(), name.begin(), [](unsigned char c) { return std::toupper(c); });
    return name;
}

}  // namespace

namespace {

LoadedImage readImageFile(const std::string& path, std::optional<vhost::Depth> depth,
                          const std::string& role) {
    configureLibrary();
    const std::string what = "the " + role + " " + quoted(path);
    std::error_code ec;
    if (!fs::exists(path, ec)) failure("cannot read " + what + ": there is no such file.");
    if (fs::is_directory(path, ec)) failure("cannot read " + what + ": it is a folder, not an image.");
    if (fs::file_size(path, ec) == 0 && !ec) failure("cannot read " + what + ": the file is empty.");
    if (!std::ifstream(path, std::ios::binary))
        failure("cannot read " + what + ": the file cannot be opened (no permission to read it?).");

    OIIO::ImageSpec config;
    config.attribute("oiio:UnassociatedAlpha", 1);  // keep straight alpha as stored
    std::unique_ptr<OIIO::ImageInput> in;
    {
        QuietStderr quiet;  // image libraries print their own complaints; ours is the one sentence
        in = OIIO::ImageInput::open(path, &config);
    }
    if (!in) {
        const std::string why = oiioError("");
        // A file that looks like a known format but cannot be opened is damaged; anything else
        // is simply not an image we know.
        auto probe = OIIO::ImageInput::create(path, false);
        OIIO::geterror();
        if (probe && probe->valid_file(path))
            failure("cannot read " + what + ": the file is damaged or cut short (" + why + ").");
        failure("cannot read " + what + ": it is not an image this tool can read (" + why + ").");
    }
    const OIIO::ImageSpec layout = in->spec_dimensions(0);
    if (layout.width <= 0 || layout.height <= 0 || layout.nchannels <= 0)
        failure("cannot read " + what + ": the image is empty.");
    if (layout.width > kMaxImageSide || layout.height > kMaxImageSide)
        failure("cannot use " + what + ": it is " + std::to_string(layout.width) + " x " +
                std::to_string(layout.height) + " pixels, and images over " +
                std::to_string(kMaxImageSide) + " pixels on a side are refused.");

    LoadedImage loaded;
    loaded.fileDepth = depthOfFile(layout.format);
    const vhost::Depth target = depth.value_or(loaded.fileDepth);
    switch (loaded.fileDepth) {
        case vhost::Depth::Bits8: loaded.image = readPixels<std::uint8_t>(*in, path, role, target); break;
        case vhost::Depth::Bits16: loaded.image = readPixels<std::uint16_t>(*in, path, role, target); break;
        case vhost::Depth::Float32: loaded.image = readPixels<float>(*in, path, role, target); break;
    }
    in->close();
    return loaded;
}

}  // namespace

LoadedImage readImage(const std::string& path, std::optional<vhost::Depth> depth,
                      const std::string& role) {
    // The image libraries throw on some damaged files (a size no buffer can hold, say) instead of
    // reporting them: such a file is refused like any other damaged one.
    try {
        return readImageFile(path, depth, role);
    } catch (const ToolError&) {
        throw;
    } catch (const std::bad_alloc&) {
        throw;
    } catch (const std::exception& e) {
        failure("cannot read the " + role + " " + quoted(path) + ": the file is damaged (" + oneLine(e.what()) +
                ").");
    }
}

void checkWritableImage(const std::string& path) {
    configureLibrary();
    auto out = OIIO::ImageOutput::create(path);
    if (!out) {
        OIIO::geterror();
        const std::string ext = fs::path(path).extension().string();
        usageError("cannot write " + quoted(path) + ": " +
                   (ext.empty() ? std::string("the name has no extension to tell the image format")
                                : "no image format is known for the extension \"" + ext + "\"") +
                   " (use .png, .tif, .exr, ...).");
    }
    checkDestination(path);
}

void writeImage(const std::string& path, const vhost::Image& image, Notes& notes) {
    configureLibrary();
    auto out = OIIO::ImageOutput::create(path);
    if (!out) {
        checkWritableImage(path);  // throws the sentence
        failure("cannot write " + quoted(path) + ".");
    }
    const std::string format = formatLabel(*out);
    const bool alpha = out->supports("alpha");
    if (!alpha) notes.once(format + " files hold no alpha channel: alpha is left out of the file.");
    const int channels = alpha ? 4 : 3;

    // EXR holds no 8- or 16-bit integers: write those renders as 32-bit float, which is exact.
    TypeDesc wanted = typeOf(image.depth);
    if (format == "OPENEXR" && image.depth != vhost::Depth::Float32) wanted = TypeDesc::FLOAT;
    OIIO::ImageSpec layout(image.width, image.height, channels, wanted);
    if (alpha) layout.alpha_channel = 3;
    layout.attribute("oiio:UnassociatedAlpha", 1);

    TempOutput temp(path);
    if (!out->open(temp.tempPath().string(), layout))
        failure("cannot write " + quoted(path) + ": " + oiioError(out->geterror()) + ".");

    // The writer may have narrowed the type to what the format holds (PNG: 8 or 16 bits; JPEG: 8).
    // Anything other than the three exact types (half, say) gets float data converted by the writer.
    TypeDesc written = typeChosenByWriter(*out);
    const int writtenBits = static_cast<int>(written.size() * 8);
    if (written != TypeDesc::UINT8 && written != TypeDesc::UINT16) written = TypeDesc::FLOAT;
    if (image.depth == vhost::Depth::Float32 && written != TypeDesc::FLOAT)
        notes.once(format + " files hold at most " + std::to_string(writtenBits) +
                   " bits per channel: the float render is written clamped to 0..1 and rounded to "
                   "the nearest value.");
    else if (writtenBits < static_cast<int>(typeOf(image.depth).size() * 8))
        notes.once(format + " files hold at most " + std::to_string(writtenBits) +
                   " bits per channel: the " + depthName(image.depth) +
                   " render is written rounded to the nearest value.");

    bool ok = withPixelType(image.depth, [&](auto pixel) {
        using Pixel = decltype(pixel);
        if (written == TypeDesc::UINT8) {
            auto data = toFileOrder<std::uint8_t, Pixel>(image, channels);
            return out->write_image(TypeDesc::UINT8, data.data());
        }
        if (written == TypeDesc::UINT16) {
            auto data = toFileOrder<std::uint16_t, Pixel>(image, channels);
            return out->write_image(TypeDesc::UINT16, data.data());
        }
        auto data = toFileOrder<float, Pixel>(image, channels);
        return out->write_image(TypeDesc::FLOAT, data.data());
    });
    if (ok) ok = out->close();
    if (!ok) failure("cannot write " + quoted(path) + ": " + oiioError(out->geterror()) + ".");
    temp.commit();
}

}  // namespace vblind
