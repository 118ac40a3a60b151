#include "SmartFrame.h"

#include "Effect.h"
#include "Host.h"
#include "SuiteEntry.h"
#include "WorkerPool.h"
#include "Worlds.h"

#include <algorithm>
#include <atomic>
#include <stdexcept>
#include <type_traits>

namespace vhost {

namespace {

constexpr const char* kLayerCheckout = "checkout:layer";
constexpr const char* kLayerPixels = "checkout:layer pixels";
constexpr const char* kOutput = "checkout:output";

Ledger& ledger() { return Host::current()->ledger(); }

// The host's worker threads, which share out the frame's passes over whole worlds.
WorkerPool* workers() {
    Host* host = Host::current();
    return host != nullptr && host->threadCount() > 1 ? &host->pool() : nullptr;
}

int blockSize(PF_RationalScale scale) {
    if (scale.num != 1 || scale.den < 1 || scale.den > static_cast<A_u_long>(kMaxWorldSide))
        throw std::invalid_argument("downsampling must be 1/n with n >= 1");
    return static_cast<int>(scale.den);
}

// Each output pixel is the plain average of the nx x ny block it covers; blocks cut by the right
// or bottom edge average the pixels they hold. Integer channels: sum / count + 0.5, truncated.
template <typename Pixel>
void downsample(const Image& from, Image& to, int nx, int ny) {
    using Channel = std::remove_cvref_t<decltype(Pixel{}.alpha)>;
    constexpr bool integral = std::is_integral_v<Channel>;
    using Sum = std::conditional_t<integral, std::uint64_t, double>;
    for (int y = 0; y < to.height; ++y) {
        for (int x = 0; x < to.width; ++x) {
            Sum a{}, r{}, g{}, b{};
            const int x1 = std::min(from.width, (x + 1) * nx);
            const int y1 = std::min(from.height, (y + 1) * ny);
            for (int sy = y * ny; sy < y1; ++sy) {
                for (int sx = x * nx; sx < x1; ++sx) {
                    const Pixel& p = from.at<Pixel>(sx, sy);
                    a += p.alpha;
                    r += p.red;
                    g += p.green;
                    b += p.blue;
                }
            }
            const auto count = static_cast<Sum>((x1 - x * nx) * (y1 - y * ny));
            auto average = [&](Sum s) -> Channel {
                if constexpr (integral)
                    return static_cast<Channel>((2 * s + count) / (2 * count));
                else
                    return static_cast<Channel>(s / count);
            };
            to.at<Pixel>(x, y) = Pixel{average(a), average(r), average(g), average(b)};
        }
    }
}

Image downsampled(const Image& layer, int nx, int ny) {
    if (nx == 1 && ny == 1) return layer;
    Image out((layer.width + nx - 1) / nx, (layer.height + ny - 1) / ny, layer.depth);
    switch (layer.depth) {
        case Depth::Bits8: downsample<PF_Pixel>(layer, out, nx, ny); break;
        case Depth::Bits16: downsample<PF_Pixel16>(layer, out, nx, ny); break;
        case Depth::Float32: downsample<PF_PixelFloat>(layer, out, nx, ny); break;
    }
    return out;
}

bool isEmpty(const PF_LRect& r) { return r.left >= r.right || r.top >= r.bottom; }

// The extent of [lo, hi) in 64 bits (rectangles may span the whole 32-bit range): 0 when empty,
// -1 when longer than any world's side.
int sideOf(A_long lo, A_long hi) {
    const std::int64_t d = static_cast<std::int64_t>(hi) - lo;
    if (d <= 0) return 0;
    return d > kMaxWorldSide ? -1 : static_cast<int>(d);
}

A_short bitdepthOf(Depth depth) { return static_cast<A_short>(static_cast<int>(depth)); }

}  // namespace

SmartFrame::SmartFrame(const Image& layer, PF_RationalScale downsampleX, PF_RationalScale downsampleY,
                       Options options)
    : layer_(downsampled(layer, blockSize(downsampleX), blockSize(downsampleY))),
      downsampleX_(downsampleX),
      downsampleY_(downsampleY),
      options_(options) {
    init();
}

SmartFrame::SmartFrame(Borrow, const Image& layer, PF_RationalScale downsampleX, PF_RationalScale downsampleY,
                       Options options)
    : downsampleX_(downsampleX), downsampleY_(downsampleY), options_(options) {
    const int nx = blockSize(downsampleX), ny = blockSize(downsampleY);
    if (nx == 1 && ny == 1)
        borrowed_ = &layer;
    else
        layer_ = downsampled(layer, nx, ny);
    init();
}

void SmartFrame::init() {
    const Image& image = layer();
    preInput_.output_request.rect = options_.request.value_or(PF_LRect{0, 0, image.width, image.height});
    preInput_.output_request.field = 0;
    preInput_.output_request.channel_mask = 0xF;  // alpha, red, green, blue
    preInput_.bitdepth = bitdepthOf(image.depth);
    preCallbacks_.checkout_layer = &SmartFrame::checkoutLayer;
    preExtra_.input = &preInput_;
    preExtra_.output = &preOutput_;
    preExtra_.cb = &preCallbacks_;

    renderInput_.output_request = preInput_.output_request;
    renderInput_.bitdepth = preInput_.bitdepth;
    renderCallbacks_.checkout_layer_pixels = &SmartFrame::checkoutLayerPixels;
    renderCallbacks_.checkin_layer_pixels = &SmartFrame::checkinLayerPixels;
    renderCallbacks_.checkout_output = &SmartFrame::checkoutOutput;
    renderExtra_.input = &renderInput_;
    renderExtra_.cb = &renderCallbacks_;
}

SmartFrame::SmartFrame(const Image& layer, PF_RationalScale downsampleX, PF_RationalScale downsampleY)
    : SmartFrame(layer, downsampleX, downsampleY, Options{}) {}

SmartFrame::~SmartFrame() {
    finish();
    detach();
}

void SmartFrame::attach(Effect& effect) {
    detach();
    effect_ = &effect;
    effect.setRenderContext(this);
}

void SmartFrame::detach() {
    if (effect_ != nullptr && effect_->renderContext() == this) effect_->setRenderContext(nullptr);
    effect_ = nullptr;
}

void SmartFrame::prepareInData(PF_InData& in) const {
    in.width = layerWidth();
    in.height = layerHeight();
    in.extent_hint = PF_LRect{0, 0, layerWidth(), layerHeight()};
    in.downsample_x = downsampleX_;
    in.downsample_y = downsampleY_;
    in.pixel_aspect_ratio = PF_RationalScale{1, 1};
}

PF_SmartRenderExtra* SmartFrame::smartRenderExtra() {
    renderInput_.pre_render_data = preOutput_.pre_render_data;
    rendering_ = true;
    return &renderExtra_;
}

const PF_EffectWorld* SmartFrame::inputWorld(A_long checkoutId) const {
    auto it = checkouts_.find(checkoutId);
    return it != checkouts_.end() && it->second.world.data ? &it->second.world : nullptr;
}

SmartFrame* SmartFrame::of(PF_ProgPtr effect_ref) {
    Effect* effect = Effect::fromRef(effect_ref);
    if (effect == nullptr) return nullptr;
    auto* frame = static_cast<SmartFrame*>(effect->renderContext());
    return frame != nullptr && !frame->finished_ ? frame : nullptr;
}

// The request clipped to the layer; the layer's whole extent is the most it could give.
PF_Err SmartFrame::checkoutLayer(PF_ProgPtr effect_ref, PF_ParamIndex index, A_long checkout_id,
                                 const PF_RenderRequest* req, A_long, A_long, A_u_long,
                                 PF_CheckoutResult* result) {
    if (auto refusal = enterSuite("checkout_layer")) return *refusal;
    SmartFrame* frame = of(effect_ref);
    if (frame == nullptr || index != 0 || req == nullptr || result == nullptr)
        return PF_Err_BAD_CALLBACK_PARAM;
    const PF_LRect whole{0, 0, frame->layerWidth(), frame->layerHeight()};
    PF_LRect clipped{std::max(req->rect.left, whole.left), std::max(req->rect.top, whole.top),
                     std::min(req->rect.right, whole.right), std::min(req->rect.bottom, whole.bottom)};
    if (isEmpty(clipped)) clipped = PF_LRect{0, 0, 0, 0};
    auto [it, added] = frame->checkouts_.try_emplace(checkout_id);
    if (!added && it->second.world.data != nullptr) return PF_Err_BAD_CALLBACK_PARAM;
    it->second.rect = clipped;
    if (added) ledger().opened(kLayerCheckout);
    *result = PF_CheckoutResult{};
    result->result_rect = clipped;
    result->max_result_rect = whole;
    result->par = PF_RationalScale{1, 1};
    result->ref_width = whole.right;
    result->ref_height = whole.bottom;
    return PF_Err_NONE;
}

// A world of exactly the checked-out rectangle, its origin the rectangle's left and top. Asking
// again for the same id hands out the same world.
PF_Err SmartFrame::checkoutLayerPixels(PF_ProgPtr effect_ref, A_long checkout_id, PF_EffectWorld** pixels) {
    if (auto refusal = enterSuite("checkout_layer_pixels")) return *refusal;
    SmartFrame* frame = of(effect_ref);
    if (frame == nullptr || pixels == nullptr) return PF_Err_BAD_CALLBACK_PARAM;
    auto it = frame->checkouts_.find(checkout_id);
    if (it == frame->checkouts_.end()) return PF_Err_BAD_CALLBACK_PARAM;
    Checkout& checkout = it->second;
    if (checkout.world.data == nullptr && !frame->options_.checked) {
        // The layer's own pixels, read in place.
        const Image& layer = frame->layer();
        const PF_LRect& r = checkout.rect;  // within the layer
        const std::size_t ps = bytesPerPixel(layer.depth);
        auto* at = const_cast<std::uint8_t*>(layer.bytes.data()) +
                   (static_cast<std::size_t>(r.top) * static_cast<std::size_t>(layer.width) +
                    static_cast<std::size_t>(r.left)) *
                       ps;
        if (PF_Err err =
                viewWorld(isEmpty(r) ? nullptr : at, sideOf(r.left, r.right), sideOf(r.top, r.bottom),
                          static_cast<std::size_t>(layer.width) * ps, layer.depth, &checkout.world))
            return err;
        checkout.world.origin_x = r.left;
        checkout.world.origin_y = r.top;
        ledger().opened(kLayerPixels);
    } else if (checkout.world.data == nullptr) {
        const PF_LRect& r = checkout.rect;  // within the layer
        PF_LRect o = frame->preOutput_.result_rect;
        if (isEmpty(o)) o = PF_LRect{0, 0, 0, 0};
        const int outWidth = sideOf(o.left, o.right), outHeight = sideOf(o.top, o.bottom);
        if (frame->rendering_ && frame->options_.fillOutput && !isEmpty(o) && outWidth >= 0 &&
            outHeight >= 0 && frame->output_.data == nullptr && frame->ready_.data == nullptr) {
            // The render is under way, so the output's rectangle is known: its world is made in
            // the same pass as this one, ready for checkout_output.
            if (PF_Err err = createWorldsFrom(frame->layer(), r.left, r.top, sideOf(r.left, r.right),
                                              sideOf(r.top, r.bottom), &checkout.world, outWidth, outHeight,
                                              !frame->options_.poisonOutput, &frame->ready_, workers()))
                return err;
        } else if (PF_Err err = createWorldFrom(frame->layer(), r.left, r.top, sideOf(r.left, r.right),
                                                sideOf(r.top, r.bottom), &checkout.world, workers())) {
            return err;
        }
        checkout.world.origin_x = r.left;
        checkout.world.origin_y = r.top;
        ledger().opened(kLayerPixels);
    }
    *pixels = &checkout.world;
    return PF_Err_NONE;
}

bool SmartFrame::checkInPixels(Checkout& checkout) {
    if (checkout.world.data == nullptr) return false;
    Ledger& ledger = Host::current()->ledger();
    // Compared with the layer it was copied from rather than hashed before and after.
    const bool unchanged =
        !options_.checked ||
        worldMatchesImage(&checkout.world, layer(), checkout.rect.left, checkout.rect.top, workers());
    const bool intact = !options_.checked || worldGuardsIntact(&checkout.world);
    if (!unchanged || !intact) {
        inputUnchanged_ = false;
        ledger.fault("the render wrote to its input layer's pixels");
    }
    destroyWorld(&checkout.world);
    ledger.closed(kLayerPixels);
    return true;
}

PF_Err SmartFrame::checkinLayerPixels(PF_ProgPtr effect_ref, A_long checkout_id) {
    if (auto refusal = enterSuite("checkin_layer_pixels")) return *refusal;
    SmartFrame* frame = of(effect_ref);
    if (frame == nullptr) return PF_Err_BAD_CALLBACK_PARAM;
    auto it = frame->checkouts_.find(checkout_id);
    if (it == frame->checkouts_.end() || !frame->checkInPixels(it->second)) return PF_Err_BAD_CALLBACK_PARAM;
    return PF_Err_NONE;
}

// A world of the output's result rectangle as the pre-render reported it, origin its left/top.
PF_Err SmartFrame::checkoutOutput(PF_ProgPtr effect_ref, PF_EffectWorld** output) {
    if (auto refusal = enterSuite("checkout_output")) return *refusal;
    SmartFrame* frame = of(effect_ref);
    if (frame == nullptr || output == nullptr) return PF_Err_BAD_CALLBACK_PARAM;
    if (frame->output_.data == nullptr) {
        PF_LRect r = frame->preOutput_.result_rect;
        if (isEmpty(r)) r = PF_LRect{0, 0, 0, 0};
        // A rectangle wider or taller than any world (the pre-render's to announce) is refused.
        const int width = sideOf(r.left, r.right), height = sideOf(r.top, r.bottom);
        if (width < 0 || height < 0) return PF_Err_BAD_CALLBACK_PARAM;
        if (frame->ready_.data != nullptr && (frame->ready_.width != width || frame->ready_.height != height))
            destroyWorld(&frame->ready_);  // made for another rectangle than the one asked for now
        const SmartFrame::Options& o = frame->options_;
        const PF_LRect asked = o.request.value_or(PF_LRect{0, 0, frame->layerWidth(), frame->layerHeight()});
        if (frame->ready_.data != nullptr) {
            frame->output_ = frame->ready_;  // made along with an input world
            frame->ready_ = PF_EffectWorld{};
        } else if (!o.checked && o.outputPixels != nullptr && r.left == asked.left && r.top == asked.top &&
                   r.right == asked.right && r.bottom == asked.bottom) {
            if (PF_Err err = viewWorld(o.outputPixels, width, height, o.outputRowBytes, frame->depth(),
                                       &frame->output_))
                return err;
        } else if (o.outputStorage != nullptr && o.keepOutput && !(o.checked && o.fillOutput) &&
                   static_cast<std::size_t>(width) * static_cast<std::size_t>(height) *
                           bytesPerPixel(frame->depth()) <=
                       kOutputStorageMaxBytes) {
            if (PF_Err err =
                    createPackedWorld(*o.outputStorage, width, height, frame->depth(), &frame->output_))
                return err;
            frame->outputPacked_ = true;
        } else if (PF_Err err = frame->options_.checked && frame->options_.fillOutput
                                    ? createWorld(width, height, frame->depth(),
                                                  !frame->options_.poisonOutput, &frame->output_, workers())
                                    : createWorldUnfilled(width, height, frame->depth(), &frame->output_)) {
            return err;
        }
        frame->output_.origin_x = r.left;
        frame->output_.origin_y = r.top;
        frame->outputRect_ = r;
        ledger().opened(kOutput);
    }
    *output = &frame->output_;
    return PF_Err_NONE;
}

void SmartFrame::finish() { finish(std::vector<std::uint8_t>()); }

void SmartFrame::finish(std::vector<std::uint8_t>&& storage) {
    if (finished_) return;
    finished_ = true;
    Host* host = Host::current();
    if (host == nullptr) {
        // The host is gone: nothing left to report to, only memory to give back.
        destroyWorld(&output_);
        destroyWorld(&ready_);
        for (auto& [id, checkout] : checkouts_) destroyWorld(&checkout.world);
        checkouts_.clear();
        return;
    }
    // The input worlds the module did not check in itself: compared with the layer they were made
    // from (in runs of rows on the worker threads), their guards checked, and freed before the
    // output's copy is made, so that a frame never holds more than the layer and two frame-sized
    // buffers at once. Their ledger entries follow the output's, as check-in order has it.
    // When the caller hands back storage of the output's size (a render frame after frame), no
    // memory is added by copying the output at once: the comparison and the copy then share one
    // sweep over the rows instead of two.
    // An output world made ahead that the module never asked for is the host's alone.
    if (ready_.data != nullptr) destroyWorld(&ready_);
    std::vector<Checkout*> open;
    for (auto& [id, checkout] : checkouts_)
        if (checkout.world.data != nullptr) open.push_back(&checkout);
    std::vector<std::atomic<bool>> unchanged(open.size());
    for (auto& same : unchanged) same.store(true, std::memory_order_relaxed);
    const bool keep = output_.data != nullptr && options_.keepOutput;
    const std::size_t outRowBytes = static_cast<std::size_t>(output_.width) * bytesPerPixel(depth());
    const bool copyAlongside =
        keep && !outputPacked_ && storage.size() == outRowBytes * static_cast<std::size_t>(output_.height);
    int rows = copyAlongside ? static_cast<int>(output_.height) : 0;
    std::size_t rowBytes = copyAlongside ? outRowBytes : 0;
    // Unchecked, the inputs are views of the layer: nothing to compare.
    for (const Checkout* checkout : options_.checked ? open : std::vector<Checkout*>()) {
        rows = std::max(rows, static_cast<int>(checkout->world.height));
        rowBytes =
            std::max(rowBytes, static_cast<std::size_t>(checkout->world.width) * bytesPerPixel(depth()));
    }
    auto sweep = [&](int begin, int end) {
        for (std::size_t i = 0; options_.checked && i < open.size(); ++i) {
            const PF_EffectWorld& world = open[i]->world;
            const int stop = std::min(end, static_cast<int>(world.height));
            if (begin < stop && unchanged[i].load(std::memory_order_relaxed) &&
                !worldRowsMatchImage(&world, layer(), open[i]->rect.left, open[i]->rect.top, begin, stop))
                unchanged[i].store(false, std::memory_order_relaxed);
        }
        if (copyAlongside)
            worldRowsToPacked(&output_, depth(), storage.data(), begin,
                              std::min(end, static_cast<int>(output_.height)));
    };
    if (WorkerPool* pool = workers())
        pool->runRanges(rows, worldRowGrain(rowBytes), sweep);
    else if (rows > 0)
        sweep(0, rows);
    std::vector<bool> inputIntact(open.size());
    for (std::size_t i = 0; i < open.size(); ++i) {
        inputIntact[i] = !options_.checked || (unchanged[i].load() && worldGuardsIntact(&open[i]->world));
        destroyWorld(&open[i]->world);
    }

    if (output_.data != nullptr && !keep) {
        if (options_.checked) {
            outputIntact_ = worldGuardsIntact(&output_);
            if (!outputIntact_) host->ledger().fault("the render wrote outside its output world");
        }
        destroyWorld(&output_);
        host->ledger().closed(kOutput);
    } else if (output_.data != nullptr) {
        outputIntact_ = !options_.checked || worldGuardsIntact(&output_);
        if (!outputIntact_) host->ledger().fault("the render wrote outside its output world");
        resultRect_ = outputRect_;
        result_.width = output_.width;
        result_.height = output_.height;
        result_.depth = depth();
        if (outputPacked_) {
            // The world's own storage is the copy: its guard cut off, handed over, and the
            // storage given here kept for the next frame's world.
            result_.bytes = std::move(*options_.outputStorage);
            result_.bytes.resize(outRowBytes * static_cast<std::size_t>(output_.height));
            *options_.outputStorage = std::move(storage);
        } else {
            result_.bytes = std::move(storage);
        }
        if (!copyAlongside && !outputPacked_) {
            // Storage of another size is appended row by row, so that no fresh memory is cleared
            // first.
            const std::size_t size = outRowBytes * static_cast<std::size_t>(output_.height);
            result_.bytes.clear();
            result_.bytes.reserve(size);
            for (int y = 0; y < output_.height; ++y) {
                const std::uint8_t* row = worldPixelAddress(&output_, 0, y, pixelBytes(depth()));
                result_.bytes.insert(result_.bytes.end(), row, row + outRowBytes);
            }
        }
        destroyWorld(&output_);
        host->ledger().closed(kOutput);
    }
    std::size_t next = 0;
    for (auto& [id, checkout] : checkouts_) {
        if (next < open.size() && open[next] == &checkout) {
            if (!inputIntact[next]) {
                inputUnchanged_ = false;
                host->ledger().fault("the render wrote to its input layer's pixels");
            }
            host->ledger().closed(kLayerPixels);
            ++next;
        }
        host->ledger().closed(kLayerCheckout);
    }
    checkouts_.clear();
    // The pre-render data is the host's to dispose of once the render that read it is over.
    if (void* data = preOutput_.pre_render_data) {
        if (preOutput_.delete_pre_render_data_func != nullptr)
            preOutput_.delete_pre_render_data_func(data);
        else if (host->isLiveHandle(static_cast<PF_Handle>(data)))
            host->disposeHandle(static_cast<PF_Handle>(data));
        preOutput_.pre_render_data = nullptr;
        renderInput_.pre_render_data = nullptr;
    }
}

Image SmartFrame::takeOutput(const PF_LRect& area) {
    if (output_.data == nullptr && area.left == resultRect_.left && area.top == resultRect_.top &&
        sideOf(area.left, area.right) == result_.width && sideOf(area.top, area.bottom) == result_.height &&
        result_.width > 0 && result_.height > 0) {
        Image taken = std::move(result_);
        result_ = Image();
        return taken;
    }
    return output(area);
}

Image SmartFrame::output(const PF_LRect& area) const {
    const int width = sideOf(area.left, area.right);
    const int height = sideOf(area.top, area.bottom);
    if (width < 0 || height < 0) throw std::length_error("the output area is larger than any world");
    // Where the output's pixels lie, as a world or as the kept copy.
    const bool live = output_.data != nullptr;
    const PF_LRect from = live ? outputRect_ : resultRect_;
    const int fromWidth = live ? static_cast<int>(output_.width) : result_.width;
    const int fromHeight = live ? static_cast<int>(output_.height) : result_.height;
    // The overlap, in 64 bits: the area may lie anywhere in the 32-bit range.
    const std::int64_t x0 = std::max<std::int64_t>(area.left, from.left);
    const std::int64_t x1 = std::min<std::int64_t>(static_cast<std::int64_t>(area.left) + width,
                                                   static_cast<std::int64_t>(from.left) + fromWidth);
    const std::int64_t y0 = std::max<std::int64_t>(area.top, from.top);
    const std::int64_t y1 = std::min<std::int64_t>(static_cast<std::int64_t>(area.top) + height,
                                                   static_cast<std::int64_t>(from.top) + fromHeight);
    if (x0 >= x1 || y0 >= y1) return Image(width, height, depth());
    // They overlap, so the area's corner lies within a world's side of the output's.
    if (live)
        return worldToImage(&output_, depth(),
                            static_cast<int>(area.left - static_cast<std::int64_t>(from.left)),
                            static_cast<int>(area.top - static_cast<std::int64_t>(from.top)), width, height);
    // Place the kept copy of the output into the area.
    Image image(width, height, depth());
    const std::size_t ps = pixelBytes(depth());
    for (std::int64_t y = y0; y < y1; ++y) {
        std::copy_n(
            result_.bytes.data() +
                (static_cast<std::size_t>(y - from.top) * result_.width + (x0 - from.left)) * ps,
            static_cast<std::size_t>(x1 - x0) * ps,
            image.bytes.data() + (static_cast<std::size_t>(y - area.top) * width + (x0 - area.left)) * ps);
    }
    return image;
}

}  // namespace vhost
