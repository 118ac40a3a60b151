#include "ImageIO.h"

#include "Channels.h"
#include "Error.h"
#include "FileFormat.h"
#include "InputFile.h"
#include "LuminanceChroma.h"
#include "MemoryBudget.h"
#include "Notes.h"
#include "Orientation.h"
#include "OutputFile.h"
#include "PixelConvert.h"
#include "PixelTypes.h"

#include <OpenImageIO/imageio.h>

#include <algorithm>
#include <bit>
#include <cstring>
#include <cstdio>
#include <memory>
#include <sstream>
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

namespace px = vsession::px;
using vsession::depthName;
using vsession::PixelTraits;
using vsession::withPixelType;

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
        // Short of descriptors (ulimit -n), stderr stays as it is: the one kept aside could be the
        // one the library needs to open the image.
        if (null < 0 && saved_ >= 0) {
            VBLIND_CLOSE(saved_);
            saved_ = -1;
        }
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

// Converts rows of file pixels (all the file's channels, interleaved) to host pixels appended to
// `bytes`: channels picked by `map`, associated colour made straight in the file's own units, then
// each value converted exactly as PixelConvert.h says.
template <typename File, typename Pixel>
void appendRows(const std::vector<File>& data, std::size_t count, int channels, const ChannelLayout& map,
                std::vector<std::uint8_t>& bytes) {
    using Channel = typename PixelTraits<Pixel>::Channel;
    const std::size_t start = bytes.size();
    bytes.resize(start + count * sizeof(Pixel));  // within the reserved size: these rows arrive now
    Pixel* dst = reinterpret_cast<Pixel*>(bytes.data() + start);
    const Channel opaque = static_cast<Channel>(PixelTraits<Pixel>::full);
    for (std::size_t i = 0; i < count; ++i) {
        const File* src = data.data() + i * channels;
        const File alpha = map.alpha >= 0 ? src[map.alpha] : File{};
        auto colour = [&](int c) {
            const File v = c >= 0 ? src[c] : File{};
            return map.associated ? px::unassociate(v, alpha) : v;
        };
        dst[i].red = px::toHost<Channel>(colour(map.red));
        dst[i].green = px::toHost<Channel>(colour(map.green));
        dst[i].blue = px::toHost<Channel>(colour(map.blue));
        dst[i].alpha = map.alpha >= 0 ? px::toHost<Channel>(alpha) : opaque;
    }
}

// Decoders report damage two ways: a failed read, or a message on a read that "succeeded" with
// made-up pixels (a JPEG's "premature end"). Only remarks about colour profiles are harmless.
bool harmless(const std::string& message) {
    for (const char* benign : {"profile", "iCCP", "sRGB", "gAMA", "cHRM"})
        if (message.find(benign) != std::string::npos) return true;
    return false;
}

void failIfDamaged(OIIO::ImageInput& in, bool ok, const std::string& what) {
    if (ok && !in.has_error()) return;
    // The reason is the first complaint that is not harmless; the ones after it mostly repeat it.
    std::string why;
    std::istringstream lines(in.geterror());
    for (std::string line; std::getline(lines, line);)
        if (!line.empty() && !harmless(line)) {
            why = oneLine(line);
            break;
        }
    if (ok && why.empty()) return;
    if (why.empty()) why = oiioError("");
    if (why.empty()) why = "the decoder gave no reason";
    failure("cannot read " + what + ": the file is damaged or cut short (" + why + ").");
}

// Reads the image a band of rows at a time (a tile's height for tiled files) and converts each band
// as it arrives, so that memory grows only with data the file really holds: a header that claims a
// huge picture and then ends costs nothing.
template <typename File>
vhost::Image readPixels(OIIO::ImageInput& in, const OIIO::ImageSpec& layout, const ChannelLayout& map,
                        const std::string& what, vhost::Depth depth) {
    const TypeDesc type = std::is_same_v<File, std::uint8_t>    ? TypeDesc::UINT8
                          : std::is_same_v<File, std::uint16_t> ? TypeDesc::UINT16
                                                                : TypeDesc::FLOAT;
    const std::size_t rowValues = static_cast<std::size_t>(layout.width) * layout.nchannels;
    const int band = layout.tile_width > 0 ? std::max(1, layout.tile_height)
                                           : static_cast<int>(std::clamp<std::size_t>(
                                                 (std::size_t{4} << 20) / (rowValues * sizeof(File)), 1, 64));
    std::vector<File> data(static_cast<std::size_t>(band) * rowValues);

    vhost::Image image;
    image.width = layout.width;
    image.height = layout.height;
    image.depth = depth;
    image.bytes.reserve(static_cast<std::size_t>(layout.width) * layout.height * vhost::bytesPerPixel(depth));
    QuietStderr quiet;
    for (int y = 0; y < layout.height; y += band) {
        const int rows = std::min(band, layout.height - y);
        const int top = layout.y + y;
        const bool ok =
            layout.tile_width > 0
                ? in.read_tiles(0, 0, layout.x, layout.x + layout.width, top, top + rows, layout.z,
                                layout.z + 1, 0, layout.nchannels, type, data.data())
                : in.read_scanlines(0, 0, top, top + rows, layout.z, 0, layout.nchannels, type, data.data());
        failIfDamaged(in, ok, what);
        withPixelType(depth, [&](auto pixel) {
            appendRows<File, decltype(pixel)>(data, static_cast<std::size_t>(rows) * layout.width,
                                              layout.nchannels, map, image.bytes);
        });
    }
    failIfDamaged(in, in.close(), what);
    return image;
}

// Where the pixels sit, when the file says more than "at 0,0 and the whole frame".
vhost::Placement placementOf(const OIIO::ImageSpec& layout) {
    vhost::Placement p{layout.x,      layout.y,          layout.full_x,
                       layout.full_y, layout.full_width, layout.full_height};
    if (p.x == 0 && p.y == 0 && p.fullX == 0 && p.fullY == 0 && p.fullWidth == layout.width &&
        p.fullHeight == layout.height)
        return {};
    return p;
}

// Whether the file stores colour premultiplied by alpha: as its format always does, or (TIFF) as
// its ExtraSamples tag says, which the library reports as unassociated alpha.
bool storesAssociatedAlpha(const FileFormat& format, const OIIO::ImageSpec& layout) {
    switch (format.alpha) {
        case AlphaConvention::Associated: return true;
        case AlphaConvention::Tagged: return layout.get_int_attribute("oiio:UnassociatedAlpha", 0) == 0;
        case AlphaConvention::Straight: break;
    }
    return false;
}

// The channel type an opened writer settled on (PNG narrows float to 16 bits, JPEG to 8).
// OpenImageIO hands out an output's layout through one member only; this is the one place that
// asks for it.
TypeDesc typeChosenByWriter(const OIIO::ImageOutput& out) { return out.spec().format; }

// Rows [first, first + rows) of the render in file order (red, green, blue, then alpha where the
// file holds it), written over `data`.
template <typename File, typename Pixel>
void toFileOrder(const vhost::Image& image, int first, int rows, int channels, bool associated,
                 std::vector<File>& data) {
    const std::size_t count = static_cast<std::size_t>(image.width) * rows;
    data.resize(count * channels);
    const Pixel* src = image.pixels<Pixel>() + static_cast<std::size_t>(first) * image.width;
    if constexpr (std::is_same_v<File, std::uint8_t> && std::is_same_v<Pixel, PF_Pixel> &&
                  std::endian::native == std::endian::little) {
        if (channels == 4) {
            // Alpha, red, green, blue to red, green, blue, alpha: each pixel's word turned by a byte.
            for (std::size_t i = 0; i < count; ++i) {
                std::uint32_t word;
                std::memcpy(&word, src + i, 4);
                word = px::rgbaWordFromHost(word);
                std::memcpy(data.data() + i * 4, &word, 4);
            }
            return;
        }
    }
    for (std::size_t i = 0; i < count; ++i) {
        File* dst = data.data() + i * channels;
        dst[0] = px::toFile<File>(src[i].red);
        dst[1] = px::toFile<File>(src[i].green);
        dst[2] = px::toFile<File>(src[i].blue);
        if (channels == 4) dst[3] = px::toFile<File>(src[i].alpha);
        if constexpr (std::is_same_v<File, float>)
            if (associated && channels == 4)
                for (int c = 0; c < 3; ++c) dst[c] = px::associate(dst[c], dst[3]);
    }
}

std::string formatLabel(const OIIO::ImageOutput& out) {
    std::string name = out.format_name();
    std::transform(name.begin(), name.end(), name.begin(), [](unsigned char c) { return std::toupper(c); });
    return name;
}

// The compression the format's row names: with a level, deflate at that level (a TIFF asks for
// deflate by naming it with its level); without, the fast default, which for PNG is deflate at
// kDefaultCompression and for TIFF PackBits.
void setCompression(OIIO::ImageSpec& layout, Compression compression, std::optional<int> level) {
    switch (compression) {
        case Compression::PngDeflate: {
            const int deflate = level.value_or(kDefaultCompression);
            layout.attribute("png:compressionLevel", deflate);
            if (deflate <= 2) layout.attribute("png:filter", 8);  // PNG_FILTER_NONE
            break;
        }
        case Compression::TiffDeflate:
            layout.attribute("compression",
                             level ? "zip:" + std::to_string(*level) : std::string("packbits"));
            break;
        case Compression::LibraryDefault: break;
    }
}

// How a render is laid out in a file of `format`: red, green, blue and, where the format holds it,
// alpha; the channel type asked of the writer; the alpha as the format means it (associated where
// that is the convention, otherwise straight and marked so); and, where the format keeps it, the
// position the input's pixels had.
struct FileLayout {
    OIIO::ImageSpec header;
    bool associated = false;  // colour premultiplied by alpha
};

FileLayout fileLayout(const FileFormat& format, bool alpha, const vhost::Image& image) {
    const int channels = alpha ? 4 : 3;
    // A format without 8- or 16-bit integers (OpenEXR) gets those renders as 32-bit float, which is
    // exact.
    TypeDesc wanted = typeOf(image.depth);
    if (!format.integers && image.depth != vhost::Depth::Float32) wanted = TypeDesc::FLOAT;
    FileLayout file{OIIO::ImageSpec(image.width, image.height, channels, wanted), false};
    if (alpha) file.header.alpha_channel = 3;
    if (format.alpha == AlphaConvention::Associated)
        file.associated = alpha;
    else
        file.header.attribute("oiio:UnassociatedAlpha", 1);
    vhost::Placement p = image.placement;
    if (p.isDefault() || format.placement == Placement::None) return file;
    if (format.placement == Placement::FrameOffset) {
        // A TIFF position is an unsigned offset from the frame's top-left corner: a frame whose
        // pixels start above or left of it cannot be said.
        p.x -= p.fullX;
        p.y -= p.fullY;
        p.fullX = p.fullY = 0;
        if (p.x < 0 || p.y < 0) return file;
    }
    file.header.x = p.x;
    file.header.y = p.y;
    file.header.full_x = p.fullX;
    file.header.full_y = p.fullY;
    file.header.full_width = p.fullWidth > 0 ? p.fullWidth : image.width;
    file.header.full_height = p.fullHeight > 0 ? p.fullHeight : image.height;
    return file;
}

// Hands the render's pixels to an opened writer as `written` values (8-bit, 16-bit or float), a
// band of rows at a time, so that the file-order copy is a band and not a second whole frame.
bool writePixels(OIIO::ImageOutput& out, const vhost::Image& image, const FileLayout& file,
                 TypeDesc written) {
    const int channels = file.header.nchannels;
    // A writer that settled on tiles takes the image whole.
    const int band =
        out.spec().tile_width > 0
            ? std::max(image.height, 1)
            : static_cast<int>(std::clamp<std::size_t>(
                  (std::size_t{1} << 20) / (static_cast<std::size_t>(image.width) * channels * 4 + 1), 1,
                  256));
    return withPixelType(image.depth, [&](auto pixel) {
        using Pixel = decltype(pixel);
        auto bands = [&](auto type) {
            using File = decltype(type);
            std::vector<File> data;
            if (out.spec().tile_width > 0) {
                toFileOrder<File, Pixel>(image, 0, image.height, channels, file.associated, data);
                return out.write_image(written, data.data());
            }
            for (int y = 0; y < image.height; y += band) {
                const int rows = std::min(band, image.height - y);
                toFileOrder<File, Pixel>(image, y, rows, channels, file.associated, data);
                const int top = out.spec().y + y;
                if (!out.write_scanlines(top, top + rows, 0, written, data.data())) return false;
            }
            return true;
        };
        if (written == TypeDesc::UINT8) return bands(std::uint8_t{});
        if (written == TypeDesc::UINT16) return bands(std::uint16_t{});
        return bands(float{});
    });
}

// Refuses a picture that is empty, too large for the host, or whose pixels at `target` (twice, when
// an orientation turns it) would take more than the memory budget.
void checkPictureSize(const OIIO::ImageSpec& layout, vhost::Depth target, bool turned,
                      const std::string& what, const ReadOptions& options) {
    if (layout.width <= 0 || layout.height <= 0 || layout.nchannels <= 0)
        failure("cannot read " + what + ": the image is empty.");
    if (layout.width > kMaxImageSide || layout.height > kMaxImageSide)
        failure("cannot use " + what + ": it is " + std::to_string(layout.width) + " x " +
                std::to_string(layout.height) + " pixels, and images over " + std::to_string(kMaxImageSide) +
                " pixels on a side are refused.");
    const std::uint64_t needed = static_cast<std::uint64_t>(layout.width) *
                                 static_cast<std::uint64_t>(layout.height) * vhost::bytesPerPixel(target) *
                                 (turned ? 2 : 1);
    const std::uint64_t budget = options.memoryBudget ? options.memoryBudget : defaultMemoryBudget();
    if (needed > budget)
        failure("cannot use " + what + ": it is " + std::to_string(layout.width) + " x " +
                std::to_string(layout.height) + " pixels, which need " + describeBytes(needed) + " at " +
                depthName(target) + ", over the memory limit of " + describeBytes(budget) +
                " (--max-memory sets it).");
}

// An OpenEXR luminance/chroma file, read through OpenEXR's RGBA interface and converted like any
// other associated-alpha EXR.
LoadedImage readLuminanceChromaFile(const std::string& path, const OIIO::ImageSpec& layout,
                                    std::optional<vhost::Depth> depth, const std::string& what,
                                    const ReadOptions& options) {
    LoadedImage loaded;
    loaded.fileDepth = vhost::Depth::Float32;
    const vhost::Depth target = depth.value_or(loaded.fileDepth);
    checkPictureSize(layout, target, false, what, options);
    const std::vector<float> data = readLuminanceChroma(path, layout);
    const ChannelLayout map = channelLayout(layout.channelnames, layout.alpha_channel, true);
    vhost::Image& image = loaded.image;
    image.width = layout.width;
    image.height = layout.height;
    image.depth = target;
    const std::size_t count = static_cast<std::size_t>(layout.width) * layout.height;
    image.bytes.reserve(count * vhost::bytesPerPixel(target));
    withPixelType(target, [&](auto pixel) {
        appendRows<float, decltype(pixel)>(data, count, layout.nchannels, map, image.bytes);
    });
    image.placement = placementOf(layout);
    return loaded;
}

LoadedImage readImageFile(const std::string& path, std::optional<vhost::Depth> depth, const std::string& role,
                          const ReadOptions& options) {
    configureLibrary();
    const std::string what = "the " + role + " " + quoted(path);
    checkInputFile(path, what);  // before any format probe: a device or a pipe is never opened
    if (const auto chroma = luminanceChromaLayout(path))
        return readLuminanceChromaFile(path, *chroma, depth, what, options);

    OIIO::ImageSpec config;
    config.attribute("oiio:UnassociatedAlpha", 1);  // keep straight alpha as stored
    std::unique_ptr<OIIO::ImageInput> in;
    {
        QuietStderr quiet;  // image libraries print their own complaints; ours is the one sentence
        in = OIIO::ImageInput::open(path, &config);
    }
    if (!in) {
        const std::string why = oiioError("");
        // The library says only that it could not open the file; the system says why.
        if (const std::string problem = openProblem(path); !problem.empty())
            failure("cannot read " + what + ": the file cannot be opened: " + problem + ".");
        // A file that looks like a known format but cannot be opened is damaged; anything else
        // is simply not an image we know.
        auto probe = OIIO::ImageInput::create(path, false);
        OIIO::geterror();
        if (probe && probe->valid_file(path))
            failure("cannot read " + what + ": the file is damaged or cut short (" + why + ").");
        failure("cannot read " + what + ": it is not an image this tool can read (" + why + ").");
    }
    const FileFormat& format = fileFormat(in->format_name());
    const OIIO::ImageSpec layout = in->spec(0, 0);
    if (layout.deep)
        failure("cannot use " + what + ": it is a deep " +
                (*format.title ? format.title + std::string(" ") : "") +
                "image (several samples per pixel), which this tool does not support.");
    LoadedImage loaded;
    loaded.fileDepth = depthOfFile(layout.format);
    const vhost::Depth target = depth.value_or(loaded.fileDepth);
    const int orientation = layout.get_int_attribute("Orientation", 1);
    const bool turned = orientation >= 2 && orientation <= 8;
    checkPictureSize(layout, target, turned, what, options);

    if (format.tooShortForItsSize)
        if (const auto why = format.tooShortForItsSize(path))
            failure("cannot read " + what + ": the file is damaged or cut short (" + *why + ").");

    const ChannelLayout map =
        channelLayout(layout.channelnames, layout.alpha_channel, storesAssociatedAlpha(format, layout));
    if (!map.dropped.empty() && options.notes) {
        std::string names;
        for (const std::string& n : map.dropped) names += (names.empty() ? "" : ", ") + n;
        options.notes->once("the " + role + " " + quoted(path) +
                            " has channels that are neither colour nor " + "alpha (" + names +
                            "): they are left out.");
    }
    switch (loaded.fileDepth) {
        case vhost::Depth::Bits8:
            loaded.image = readPixels<std::uint8_t>(*in, layout, map, what, target);
            break;
        case vhost::Depth::Bits16:
            loaded.image = readPixels<std::uint16_t>(*in, layout, map, what, target);
            break;
        case vhost::Depth::Float32: loaded.image = readPixels<float>(*in, layout, map, what, target); break;
    }
    if (turned)
        loaded.image = applyOrientation(loaded.image, orientation);
    else
        loaded.image.placement = placementOf(layout);
    return loaded;
}

}  // namespace

LoadedImage readImage(const std::string& path, std::optional<vhost::Depth> depth, const std::string& role,
                      const ReadOptions& options) {
    // The image libraries throw on some damaged files (a size no buffer can hold, say) instead of
    // reporting them: such a file is refused like any other damaged one.
    try {
        return readImageFile(path, depth, role, options);
    } catch (const ToolError&) {
        throw;
    } catch (const std::bad_alloc&) {
        throw;
    } catch (const std::exception& e) {
        failure("cannot read the " + role + " " + quoted(path) + ": the file is damaged (" +
                oneLine(e.what()) + ").");
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
                   " (use " + usualExtensions() + ", ...).");
    }
    checkDestination(path);
}

void writeImage(const std::string& path, const vhost::Image& image, Notes& notes,
                const WriteOptions& options) {
    configureLibrary();
    auto out = OIIO::ImageOutput::create(path);
    if (!out) {
        checkWritableImage(path);  // throws the sentence
        failure("cannot write " + quoted(path) + ".");
    }
    const FileFormat& format = fileFormat(out->format_name());
    const std::string label = formatLabel(*out);
    const bool alpha = out->supports("alpha");
    if (!alpha) notes.once(label + " files hold no alpha channel: alpha is left out of the file.");
    FileLayout file = fileLayout(format, alpha, image);
    setCompression(file.header, format.compression, options.compression);

    TempOutput temp(path);
    // The writer holds the temporary file's proxy, so it is closed and gone before the file is.
    struct CloseWriterFirst {
        std::unique_ptr<OIIO::ImageOutput>& writer;
        ~CloseWriterFirst() { writer.reset(); }
    } closeWriterFirst{out};
    if (out->supports("ioproxy")) out->set_ioproxy(temp.proxy());
    // A failed write of our own names the true reason; the library's message would only echo it.
    auto writeFailed = [&] {
        if (temp.writeError())
            failure("cannot write " + quoted(path) + ": " + fileErrorReason(temp.writeError()) + ".");
        failure("cannot write " + quoted(path) + ": " + oiioError(out->geterror()) + ".");
    };
    if (!out->open(temp.tempPath().string(), file.header)) writeFailed();

    // The writer may have narrowed the type to what the format holds (PNG: 8 or 16 bits; JPEG: 8).
    // Anything other than the three exact types (half, say) gets float data converted by the writer.
    TypeDesc written = typeChosenByWriter(*out);
    const int writtenBits = static_cast<int>(written.size() * 8);
    if (written != TypeDesc::UINT8 && written != TypeDesc::UINT16) written = TypeDesc::FLOAT;
    if (image.depth == vhost::Depth::Float32 && written != TypeDesc::FLOAT)
        notes.once(label + " files hold at most " + std::to_string(writtenBits) +
                   " bits per channel: the float render is written clamped to 0..1 and rounded to "
                   "the nearest value.");
    else if (writtenBits < static_cast<int>(typeOf(image.depth).size() * 8))
        notes.once(label + " files hold at most " + std::to_string(writtenBits) + " bits per channel: the " +
                   depthName(image.depth) + " render is written rounded to the nearest value.");

    bool ok = writePixels(*out, image, file, written);
    if (ok) ok = out->close();
    if (!ok || temp.writeError()) writeFailed();
    temp.commit();
}

}  // namespace vblind
