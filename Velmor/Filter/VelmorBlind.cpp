#include "VelmorBlind.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>
#include <new>
#include <type_traits>
#include <utility>
#include <vector>

#include "VelmorEasing.h"
#include "VelmorRandom.h"

namespace Velmor {

namespace {

// d clamped to 0..1; a NaN counts as hidden.
inline double clampUnit(double d) { return d > 0.0 ? (d < 1.0 ? d : 1.0) : 0.0; }

// The host's maths table. Without it nothing can be prepared: treated like a missing suite.
const PF_ANSICallbacks& hostAnsi(const PF_InData* in_data) {
    if (!in_data || !in_data->utils || !in_data->utils->ansi.cos || !in_data->utils->ansi.sin ||
        !in_data->utils->ansi.ceil || !in_data->utils->ansi.fmod)
        throw PF_Err(PF_Err_BAD_CALLBACK_PARAM);
    return in_data->utils->ansi;
}

const SPBasicSuite* basicSuite(const PF_InData* in_data) { return in_data ? in_data->pica_basicP : nullptr; }

template <typename Pixel>
inline void blendEdge(Pixel& dst, Pixel const& src, double w) {
    using Traits = BlindPixelTraits<Pixel>;
    const double k = 1.0 - w;
    dst.red = Traits::channel(static_cast<double>(dst.red) * w + static_cast<double>(src.red) * k);
    dst.green = Traits::channel(static_cast<double>(dst.green) * w + static_cast<double>(src.green) * k);
    dst.blue = Traits::channel(static_cast<double>(dst.blue) * w + static_cast<double>(src.blue) * k);
}

template <typename Pixel>
inline typename BlindPixelTraits<Pixel>::Channel scaledAlpha(Pixel const& p, double coverage) {
    return BlindPixelTraits<Pixel>::channel(static_cast<double>(p.alpha) * coverage);
}

// Copies `count` integer pixels with their alpha set to 0, 16 bytes (four 8-bit or two 16-bit
// pixels) at a time: each block is masked by pixels whose colour channels are all ones and whose
// alpha is zero, which holds whatever the byte order. The block is a compiler vector (GCC and
// Clang), so the masking is one instruction per block on any target.
template <typename Pixel>
inline void clearAlpha(const Pixel* from, Pixel* to, std::size_t count) {
    typedef std::uint8_t Block __attribute__((vector_size(16)));
    constexpr std::size_t per_block = sizeof(Block) / sizeof(Pixel);
    static_assert(per_block >= 1 && per_block * sizeof(Pixel) == sizeof(Block), "pixels tile a block");
    Pixel colour[per_block];
    std::memset(colour, 0xFF, sizeof colour);
    for (Pixel& p : colour) p.alpha = 0;
    Block mask;
    std::memcpy(&mask, colour, sizeof mask);
    const std::size_t blocks = count / per_block;
    const char* source = reinterpret_cast<const char*>(from);
    char* target = reinterpret_cast<char*>(to);
    for (std::size_t i = 0; i < blocks; ++i) {
        Block block;
        std::memcpy(&block, source + i * sizeof block, sizeof block);
        block &= mask;
        std::memcpy(target + i * sizeof block, &block, sizeof block);
    }
    for (std::size_t i = blocks * per_block; i < count; ++i) {
        to[i] = from[i];
        to[i].alpha = 0;
    }
}

// Outside modes map positions against the layer (`layer_rect`, in the coordinates of the
// buffers' origin) along one axis: its size in pixels and the buffer's first pixel from the
// layer's. A layer rectangle that cannot be one here (empty, too large for 16.16 positions, or
// far from the buffer) leaves the buffer's own extent, `side`, with no offset.
struct OutsideAxis {
    int size;
    int from_layer;
};

inline OutsideAxis outsideAxis(A_long lo, A_long hi, int origin, int side) {
    const std::int64_t size = static_cast<std::int64_t>(hi) - lo;
    const std::int64_t from = static_cast<std::int64_t>(origin) - lo;
    if (size < 1 || size > 32767 || from < -32767 || from > 32767) return {side, 0};
    return {static_cast<int>(size), static_cast<int>(from)};
}

// Pixel x of row y of a world, addressed by rowbytes.
template <typename Pixel>
inline Pixel* rowOf(PF_LayerDef* world, int y) {
    return reinterpret_cast<Pixel*>(static_cast<char*>(world->data) +
                                    static_cast<std::ptrdiff_t>(y) * world->rowbytes);
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Blind: the filter as the executor sees it

Blind::Blind(Parameter const& parameter) : _impl(nullptr) {
    // If the preparation throws, new gives the Impl's memory back and nothing else exists yet.
    Impl* impl = new Impl(parameter);
    try {
        _impl = new ImplHolder<Impl>(impl);
    } catch (...) {
        delete impl;
        throw;
    }
}

Blind::~Blind() { delete _impl; }

Blind::Blind(Blind const& other) : IFilterWithRegion(other), _impl(other._impl->Clone()) {}

Blind& Blind::operator=(Blind const& other) {
    if (this != &other) other._impl->CopyTo(_impl);
    return *this;
}

bool Blind::samplesWholeLayer(int state, int mode, int border_type) {
    const bool samples = state == Move || state == Shrink;
    return (samples && border_type == Border::Tile) || (state == Shrink && mode == Both);
}

void Blind::execute(Layer& in, Layer& out) { execute(in, out, in.getSize()); }

void Blind::execute(Layer& in, Layer& out, Rect const& region) { _get()->execute(in, out, region); }

// ---------------------------------------------------------------------------------------------
// Blind::Parameter

Blind::Parameter::Parameter()
    : _in_data(nullptr),
      _layer_rect{0, 0, 0, 0},
      _is_aa(true),
      _mode(One),
      _completion(0.0),
      _delay(0.0),
      _width(1.0),
      _direction(90.0),
      _offset(0.0),
      _order(Normal),
      _seed(0),
      _easing_type(Easing::Linear),
      _easing_mode(Easing::InOut),
      _state(Still),
      _border_type(Border::Void) {}

// ---------------------------------------------------------------------------------------------
// Blind::Impl: life cycle

Blind::Impl::Impl(Parameter const& p)
    : in_data(p.in_data()),
      suites(basicSuite(p.in_data())),
      layer_rect(p.layer_rect()),
      is_aa(p.is_aa()),
      mode(p.mode()),
      completion(p.completion()),
      delay(p.delay()),
      width(p.width()),
      direction(p.direction()),
      offset(p.offset()),
      order(p.order()),
      seed(p.seed()),
      easing_type(p.easing_type()),
      easing_mode(p.easing_mode()),
      state(p.state()),
      border_type(p.border_type()),
      num_bands_real(0.0),
      band_duration(0.0),
      band_step(0.0),
      num_bands(0),
      proj_max(0.0),
      proj_min(0.0),
      extent(0.0),
      offset_px(0.0) {
    // If this throws, the members built so far (the handler, the empty arrays) are released.
    _prepare();
}

double Blind::Impl::_step(double v) { return clampUnit(v); }

// ---------------------------------------------------------------------------------------------
// Pixel processing

void Blind::Impl::execute(Layer& in, Layer& out, Rect const& region) const {
    if (!in.getWorld() || !out.getWorld() || !in.equalInSize(out)) return;
    switch (in.getBPC()) {
        case 0: _process8(in, out, region); break;
        case 1: _process16(in, out, region); break;
        case 2: _process32(in, out, region); break;
        default: break;
    }
}

void Blind::Impl::_process8(Layer& in, Layer& out, Rect const& region) const {
    _process<PF_Pixel>(in, out, region);
}

void Blind::Impl::_process16(Layer& in, Layer& out, Rect const& region) const {
    _process<PF_Pixel16>(in, out, region);
}

void Blind::Impl::_process32(Layer& in, Layer& out, Rect const& region) const {
    _process<PF_PixelFloat>(in, out, region);
}

void Blind::Impl::_blend_edge(PF_Pixel& dst, PF_Pixel const& src, double w) const { blendEdge(dst, src, w); }

void Blind::Impl::_blend_edge(PF_Pixel16& dst, PF_Pixel16 const& src, double w) const {
    blendEdge(dst, src, w);
}

void Blind::Impl::_blend_edge(PF_PixelFloat& dst, PF_PixelFloat const& src, double w) const {
    blendEdge(dst, src, w);
}

template <typename Pixel>
const typename BlindPixelTraits<Pixel>::Suite* Blind::Impl::_sampling_suite() const {
    using Traits = BlindPixelTraits<Pixel>;
    // The bands of one render all arrive here at about the same time: the first acquires, the
    // others wait for it, and the host sees one acquisition. A missing suite throws out of
    // call_once, which leaves the flag unset (nothing was acquired).
    std::call_once(suites.sampling_once[Traits::index], [this] { Traits::suite(suites.handler); });
    return Traits::suite(suites.handler);
}

// One pass over a region at one depth: the worlds, the Outside limits, the sampler and the
// per-pixel work, shared by the per-pixel and the span forms of the pass.
template <typename Pixel>
struct Blind::Impl::Pass {
    using Suite = typename BlindPixelTraits<Pixel>::Suite;

    const Impl& impl;
    PF_LayerDef* const src_world;
    PF_LayerDef* const dst_world;
    const int origin_x;
    const int origin_y;
    // The Outside modes map positions onto the layer, not onto the buffers, which for a region
    // of the frame are only part of it: a buffer position plus `to_layer` is the position
    // relative to the layer's top-left pixel (16.16). Limits: the layer's size and last pixel.
    const OutsideAxis x_axis;
    const OutsideAxis y_axis;
    const VectorFixed to_layer;
    const int w_fixed;
    const int w_max;
    const int h_fixed;
    const int h_max;
    const int x_begin;
    const int x_end;
    const int y_begin;
    const int y_end;
    PF_SampPB samp{};
    PF_ProgPtr const effect_ref;
    // Looked up on the band's first sample only: passes that never sample acquire nothing.
    const Suite* suite = nullptr;

    Pass(const Impl& i, Layer& in, Layer& out, Rect const& region)
        : impl(i),
          src_world(in.getWorld()),
          dst_world(out.getWorld()),
          origin_x(dst_world->origin_x),
          origin_y(dst_world->origin_y),
          x_axis(outsideAxis(i.layer_rect.left, i.layer_rect.right, origin_x, out.getWidth())),
          y_axis(outsideAxis(i.layer_rect.top, i.layer_rect.bottom, origin_y, out.getHeight())),
          to_layer(toFixed(x_axis.from_layer), toFixed(y_axis.from_layer)),
          w_fixed(toFixed(x_axis.size)),
          w_max(w_fixed - kFixedOne),
          h_fixed(toFixed(y_axis.size)),
          h_max(h_fixed - kFixedOne),
          x_begin(std::max(region.left, 0)),
          x_end(std::min(region.right, static_cast<int>(src_world->width))),
          y_begin(std::max(region.top, 0)),
          y_end(std::min(region.bottom, static_cast<int>(src_world->height))),
          effect_ref(i.in_data->effect_ref) {
        samp.src = src_world;
    }

    bool empty() const { return x_begin >= x_end || y_begin >= y_end; }

    const Suite& sampler() {
        if (!suite) suite = impl._sampling_suite<Pixel>();
        return *suite;
    }
    void sample(VectorFixed const& at, Pixel& into) {
        if (impl.is_aa)
            sampler().subpixel_sample(effect_ref, at.x, at.y, &samp, &into);
        else
            sampler().nn_sample(effect_ref, at.x, at.y, &samp, &into);
    }
    void subpixel(VectorFixed const& at, Pixel& into) {
        sampler().subpixel_sample(effect_ref, at.x, at.y, &samp, &into);
    }
    VectorFixed toLayer(VectorFixed const& p) const {
        return VectorFixed(detail::wrapAdd(p.x, to_layer.x), detail::wrapAdd(p.y, to_layer.y));
    }
    VectorFixed toBuffer(VectorFixed const& p) const {
        return VectorFixed(detail::wrapSub(p.x, to_layer.x), detail::wrapSub(p.y, to_layer.y));
    }
    // A buffer position mapped by the Outside mode against the layer.
    void map(VectorFixed& p) const {
        VectorFixed l = toLayer(p);
        Border::offsetF(l, w_fixed, w_max, h_fixed, h_max, impl.border_type);
        p = toBuffer(l);
    }

    // Classification of the buffer pixel (x, y) at its layer position.
    void classify(int x, int y, PixelInfo& info) const {
        info = PixelInfo();
        if (impl.is_aa)
            impl._get_pixel_info_aa(x + origin_x, y + origin_y, info.coverage, info.squeeze, info.seam,
                                    info.slot, info.closing, info.first_half, info.at_seam);
        else
            impl._get_pixel_info(x + origin_x, y + origin_y, info.coverage, info.squeeze, info.seam,
                                 info.slot, info.closing, info.first_half, info.at_seam);
    }

    // The output pixel (x, y) from its classification.
    void pixel(int x, int y, const Pixel& src, Pixel& dst, PixelInfo const& info) {
        const int state = impl.state;
        const int mode = impl.mode;
        if (state == Still && info.coverage >= 1.0) {
            dst = src;
            return;
        }
        if (state == Still || !info.closing) {
            dst = src;
            dst.alpha = scaledAlpha(src, info.coverage);
            return;
        }

        const int px = toFixed(x);
        const int py = toFixed(y);
        // The position whose image this pixel shows, in the buffers' own coordinates.
        VectorFixed p(0, 0);
        VectorFixed shift;
        if (state == Shrink) {
            const VectorFixed s(roundFixed(info.squeeze * impl.dir.x), roundFixed(impl.dir.y * info.squeeze));
            if (mode == Both && !info.first_half)
                p = VectorFixed(px, py) + s;
            else if (mode == Both || mode == One)
                p = VectorFixed(px, py) - s;
        } else if (state == Move) {
            shift = impl.band_states[info.slot].shift;
            if (mode == One || (mode == Both && info.first_half))
                p = VectorFixed(px, py) + shift;
            else if (mode == Both)
                p = VectorFixed(px, py) - shift;
        }
        map(p);
        sample(p, dst);

        if (info.at_seam) {
            if (mode == One) {
                // The moved image fades into the unmoved input of the next band.
                impl._blend_edge(dst, src, info.seam);
            } else if (mode == Both) {
                // The two halves meet on the centre line: mix in the other half's sample.
                VectorFixed q = info.first_half ? VectorFixed(px, py) - shift : VectorFixed(px, py) + shift;
                map(q);
                Pixel other;
                subpixel(q, other);
                impl._blend_edge(dst, other, (info.seam + 1.0) * 0.5);
            }
        }

        if (impl.is_aa && state == Shrink && impl.border_type == Border::Tile) {
            // Soften the tile seams: the first and last pixel of a tile take half of the
            // opposite edge at the very edge, fading out over one pixel. The tiles are the
            // layer's: edges and opposite edges are found in layer positions.
            Pixel t;
            const VectorFixed l = toLayer(p);
            if (l.x < kFixedOne) {
                subpixel(toBuffer(VectorFixed(w_max, l.y)), t);
                impl._blend_edge(dst, t, fromFixed(l.x) * 0.5 + 0.5);
            } else if (w_max - l.x < kFixedOne) {
                subpixel(toBuffer(VectorFixed(0, l.y)), t);
                impl._blend_edge(dst, t, fromFixed(w_max - l.x) * 0.5 + 0.5);
            }
            if (l.y < kFixedOne) {
                subpixel(toBuffer(VectorFixed(l.x, h_max)), t);
                impl._blend_edge(dst, t, fromFixed(l.y) * 0.5 + 0.5);
            } else if (h_max - l.y < kFixedOne) {
                subpixel(toBuffer(VectorFixed(l.x, 0)), t);
                impl._blend_edge(dst, t, fromFixed(h_max - l.y) * 0.5 + 0.5);
            }
        }

        dst.alpha = scaledAlpha(dst, info.coverage);
    }

    // Pixels x0..x1 (inclusive) of one row, all classified alike: what pixel() does for each,
    // at memory speed. Only for results that do not sample (Still, or a band not closing).
    void span(const Pixel* src_row, Pixel* dst_row, int x0, int x1, double coverage) const {
        using Channel = typename BlindPixelTraits<Pixel>::Channel;
        const std::size_t count = static_cast<std::size_t>(x1 - x0) + 1;
        // Integer channels: alpha x 1 + 0.5 truncates back to alpha, so a kept pixel is a copy
        // whatever the state; alpha x 0 + 0.5 truncates to 0.
        constexpr bool integral = std::is_integral_v<Channel>;
        if ((impl.state == Still && coverage >= 1.0) || (integral && coverage == 1.0)) {
            std::memcpy(dst_row + x0, src_row + x0, count * sizeof(Pixel));
            return;
        }
        const Pixel* from = src_row + x0;
        Pixel* to = dst_row + x0;
        if constexpr (integral) {
            if (coverage == 0.0) {
                clearAlpha(from, to, count);
                return;
            }
        }
        for (std::size_t i = 0; i < count; ++i) {
            to[i] = from[i];
            to[i].alpha = scaledAlpha(from[i], coverage);
        }
    }

    // Every pixel classified on its own.
    void run_per_pixel() {
        for (int y = y_begin; y < y_end; ++y) {
            const Pixel* const src_row = rowOf<Pixel>(src_world, y);
            Pixel* const dst_row = rowOf<Pixel>(dst_world, y);
            for (int x = x_begin; x < x_end; ++x) {
                PixelInfo info;
                classify(x, y, info);
                pixel(x, y, src_row[x], dst_row[x], info);
            }
        }
    }

    // The zone holding u, or null; `cursor` remembers the last zone found, since u moves
    // along a row from one zone to its neighbour. A miss leaves in (gap_lo, gap_hi) the stretch
    // between zones that holds u, where the pixels that follow usually stay.
    static const Zone* find(std::vector<Zone> const& zones, double u, std::size_t& cursor, double& gap_lo,
                            double& gap_hi) {
        if (gap_lo < u && u < gap_hi) return nullptr;
        const std::size_t n = zones.size();
        for (std::size_t c : {cursor, cursor + 1, cursor - 1}) {
            if (c < n && zones[c].lo <= u && u <= zones[c].hi) {
                cursor = c;
                return &zones[c];
            }
        }
        auto it =
            std::lower_bound(zones.begin(), zones.end(), u, [](Zone const& z, double v) { return z.hi < v; });
        if (it == zones.end() || !(it->lo <= u)) {
            gap_hi = it == zones.end() ? std::numeric_limits<double>::infinity() : it->lo;
            gap_lo = it == zones.begin() ? -std::numeric_limits<double>::infinity() : (it - 1)->hi;
            return nullptr;
        }
        cursor = static_cast<std::size_t>(it - zones.begin());
        return &*it;
    }

    // Rows cut into spans by the zones. The grid position moves monotonically along a row
    // (each step of its arithmetic rounds monotonically), apart from one jump where it wraps
    // around the extent; so pixels between two pixels of one zone, on one side of the wrap,
    // lie in that zone too.
    void run_spans(std::vector<Zone> const& zones) {
        const double slope = impl.dir.x;
        std::size_t cursor = 0;
        double gap_lo = 0.0, gap_hi = 0.0;  // empty: no gap known yet
        for (int y = y_begin; y < y_end; ++y) {
            const Pixel* const src_row = rowOf<Pixel>(src_world, y);
            Pixel* const dst_row = rowOf<Pixel>(dst_world, y);
            const int ly = y + origin_y;
            // Classifications depend on the grid position alone: pixels at the same position
            // (an axis almost along the row) reuse the last one.
            double cached_u = 0.0;
            bool cached = false;
            PixelInfo info;
            int x = x_begin;
            while (x < x_end) {
                bool wrapped = false;
                const double u = impl._grid_position(x + origin_x, ly, wrapped);
                const Zone* zone = find(zones, u, cursor, gap_lo, gap_hi);
                if (!zone) {
                    if (!cached || u != cached_u) {
                        classify(x, y, info);
                        cached_u = u;
                        cached = true;
                    }
                    pixel(x, y, src_row[x], dst_row[x], info);
                    ++x;
                    continue;
                }
                const int last = run_end(x, ly, u, wrapped, *zone, slope);
                classify(x, y, info);
                cached_u = u;
                cached = true;
                const bool as_zone = zone->kind == ZoneKeep ? info.coverage == 1.0 : info.coverage == 0.0;
                if (as_zone && (impl.state == Still || !info.closing)) {
                    span(src_row, dst_row, x, last, info.coverage);
                } else {
                    // Not what the zone promised: classify the span's pixels one by one.
                    for (int i = x; i <= last; ++i) {
                        classify(i, y, info);
                        pixel(i, y, src_row[i], dst_row[i], info);
                    }
                    cached = false;
                }
                x = last + 1;
            }
        }
    }

    // The last pixel from x on (x itself lies in `zone`) whose position lies in the zone on
    // the same side of the wrap: a guess from the slope, then checked and searched.
    int run_end(int x, int ly, double u, bool wrapped, Zone const& zone, double slope) const {
        auto inside = [&](int i) {
            bool w = false;
            const double v = impl._grid_position(i + origin_x, ly, w);
            return w == wrapped && zone.lo <= v && v <= zone.hi;
        };
        const double room = static_cast<double>(x_end - 1 - x);
        double steps = room;
        if (slope > 0.0)
            steps = (zone.hi - u) / slope;
        else if (slope < 0.0)
            steps = (zone.lo - u) / slope;
        if (!(steps < room)) steps = room;
        if (!(steps > 0.0)) steps = 0.0;
        int good = x;     // known inside
        int bad = x_end;  // known outside, or past the row
        const int guess = x + static_cast<int>(steps);
        if (guess > x) {
            if (inside(guess))
                good = guess;
            else
                bad = guess;
        }
        if (bad == x_end) {
            // Gallop forward from the last known pixel inside.
            int step = 1;
            while (good + step < x_end && inside(good + step)) {
                good += step;
                step *= 2;
            }
            if (good + step < x_end) bad = good + step;
        }
        while (bad - good > 1) {
            const int mid = good + (bad - good) / 2;
            if (inside(mid))
                good = mid;
            else
                bad = mid;
        }
        return good;
    }
};

template <typename Pixel>
void Blind::Impl::_process_per_pixel(Layer& in, Layer& out, Rect const& region) const {
    Pass<Pixel> pass(*this, in, out, region);
    if (!pass.empty()) pass.run_per_pixel();
}

template <typename Pixel>
void Blind::Impl::_process(Layer& in, Layer& out, Rect const& region) const {
    Pass<Pixel> pass(*this, in, out, region);
    if (pass.empty()) return;
    // The largest grid position of the region, from its corners (the position is affine).
    double u_bound = 0.0;
    for (int y : {pass.y_begin, pass.y_end - 1})
        for (int x : {pass.x_begin, pass.x_end - 1}) {
            const double raw =
                Vector<double>(x + pass.origin_x, y + pass.origin_y).dot(dir) - proj_min - offset_px;
            u_bound = std::max(u_bound, std::fabs(raw) + std::fabs(extent));
        }
    std::vector<Zone> zones;
    if (_zones(zones, u_bound))
        pass.run_spans(zones);
    else
        pass.run_per_pixel();
}

void Blind::Impl::_execute_per_pixel(Layer& in, Layer& out, Rect const& region) const {
    if (!in.getWorld() || !out.getWorld() || !in.equalInSize(out)) return;
    switch (in.getBPC()) {
        case 0: _process_per_pixel<PF_Pixel>(in, out, region); break;
        case 1: _process_per_pixel<PF_Pixel16>(in, out, region); break;
        case 2: _process_per_pixel<PF_PixelFloat>(in, out, region); break;
        default: break;
    }
}

// ---------------------------------------------------------------------------------------------
// Band preparation

void Blind::Impl::_prepare() {
    const PF_ANSICallbacks& ansi = hostAnsi(in_data);

    dir = Vector<double>(ansi.cos(direction), ansi.sin(direction));

    // The corner pixels of the layer; right and bottom are exclusive. Formed in double so that
    // rectangles at the ends of the 32-bit range do not overflow.
    const double left = layer_rect.left;
    const double top = layer_rect.top;
    const double right = static_cast<double>(layer_rect.right) - 1.0;
    const double bottom = static_cast<double>(layer_rect.bottom) - 1.0;
    const double proj[4] = {Vector<double>(left, top).dot(dir), Vector<double>(right, top).dot(dir),
                            Vector<double>(right, bottom).dot(dir), Vector<double>(left, bottom).dot(dir)};
    proj_min = proj[0];
    proj_max = proj[0];
    for (double p : proj) {
        if (p < proj_min) proj_min = p;
        if (p > proj_max) proj_max = p;
    }
    extent = proj_max - proj_min;
    offset_px = offset * extent;

    // The classification needs at least one band. A layer whose corners all project to one value
    // (extent 0), or a grid without a usable size (a non-finite extent, a width that is not a
    // positive finite number), gets exactly one band covering everything. A count too large for
    // an int cannot be allocated: it fails like any allocation rather than being cut short.
    num_bands_real = 1.0;
    if (std::isfinite(extent) && std::isfinite(width) && width > 0.0) {
        const double count = ansi.ceil(extent / width);
        if (count > static_cast<double>(INT_MAX)) throw std::bad_alloc();
        if (count >= 1.0) num_bands_real = count;
    }
    num_bands = static_cast<int>(num_bands_real);

    band_duration = 1.0 / ((num_bands_real - 1.0) * delay + 1.0);
    band_step = band_duration * delay;

    // Both arrays are made before either replaces what was held, so a failed allocation leaves
    // the state as it was. The count is a positive int, so array new sizes them without wrapping.
    const int n = num_bands;
    shared_array<BandState> states(new BandState[static_cast<std::size_t>(n)]);
    shared_array<int> slots(new int[static_cast<std::size_t>(n)]);

    const Easing easing(easing_type, easing_mode);
    const double f = mode == One ? 1.0 : (mode == Both ? 0.5 : 0.0);
    for (int i = 0; i < n; ++i) {
        slots[i] = order == Inverse ? n - 1 - i : i;

        BandState& band = states[i];
        const double t = (completion - i * band_step) / band_duration;
        band.progress = easing.getTime(t);
        band.shift = VectorFixed(0, 0);
        if (band.progress > 0.0 && band.progress < 1.0 && state == Move && f != 0.0) {
            band.shift.x = -roundFixed(dir.x * f * width * band.progress);
            band.shift.y = -roundFixed(dir.y * f * width * band.progress);
        }
    }

    if (order == RandomOrder) {
        // One draw per slot, in slot order, each swapping with any position. The arrangement for
        // a given seed and count depends on exactly this shuffle; do not replace it.
        Random random(seed);
        for (int i = 0; i < n; ++i) {
            const int j = static_cast<int>(random.randD() * n);
            std::swap(slots[i], slots[j]);
        }
    }

    band_states = std::move(states);
    band_order = std::move(slots);
}

// ---------------------------------------------------------------------------------------------
// Pixel classification

double Blind::Impl::_grid_position(int x, int y) const {
    double u = Vector<double>(x, y).dot(dir) - proj_min - offset_px;
    if (u < 0.0) u += extent;
    return u;
}

int Blind::Impl::_band_at(double u) const {
    // Pixels of the layer always have 0 <= u; pixels of a buffer reaching beyond the layer may
    // not, even after the wrap, and belong to the nearest end band. Written so that a NaN or an
    // infinite quotient never reaches the int conversion.
    const double q = u / width;
    const int last = num_bands - 1;
    if (q >= static_cast<double>(last)) return last;
    if (q > 0.0) return static_cast<int>(q);
    return 0;
}

double Blind::Impl::_grid_end() const {
    const double r = in_data->utils->ansi.fmod(extent, width);
    return r < 1e-6 ? width : r;
}

void Blind::Impl::_get_pixel_info(int x, int y, double& coverage, double& squeeze, double& /*seam*/,
                                  int& slot, bool& closing, bool& first_half, bool& /*at_seam*/) const {
    const double u = _grid_position(x, y);
    const int k = _band_at(u);
    slot = band_order[k];
    const double e = band_states[slot].progress;

    if (e <= 0.0) {
        coverage = 1.0;
        return;
    }
    if (e >= 1.0) {
        coverage = 0.0;
        return;
    }
    closing = true;
    const double v = in_data->utils->ansi.fmod(u, width);
    const double h = 0.5 * width;

    double d = u;
    if (mode == One) {
        d = v - e * width;
        if (d > 0.0 && state == Shrink) squeeze = (1.0 / (1.0 - e) - 1.0) * (width - v);
    } else if (mode == Both) {
        const double a = std::fabs(v - h);
        first_half = v < h;
        if (state == Shrink) squeeze = (1.0 / (1.0 - e) - 1.0) * a;
        d = (h - a) - e * 0.5 * width;
    }
    coverage = d < 0.0 ? 0.0 : 1.0;
}

void Blind::Impl::_get_pixel_info_aa(int x, int y, double& coverage, double& squeeze, double& seam, int& slot,
                                     bool& closing, bool& first_half, bool& at_seam) const {
    const double u = _grid_position(x, y);
    const int k = _band_at(u);
    slot = band_order[k];
    const double e = band_states[slot].progress;
    const int n = num_bands;
    const auto fmod = in_data->utils->ansi.fmod;

    if (e <= 0.0) {
        // Not started: only the edges it shares with started neighbours are softened.
        if (k == 0) {
            if (n == 1) {
                coverage = 1.0;
                return;
            }
            const double v = fmod(u, width);
            coverage = _band_progress(1) >= 1e-6 ? clampUnit(std::fabs(v - width)) : 1.0;
            if (offset > 0.0) {
                // Across the wrap seam, against the end of the last band.
                const double last = _band_progress(n - 1);
                if (mode == Both) {
                    if (last > 0.0) coverage *= clampUnit(v);
                } else if (mode == One) {
                    if (last > _grid_end() / width) coverage *= clampUnit(v);
                }
            }
        } else if (k == n - 1) {
            const double v = fmod(u, width);
            const double prev = _band_progress(k - 1);
            if (prev < 1e-6)
                coverage = 1.0;
            else if (mode == Both)
                coverage = clampUnit(v);
            else if (mode == One)
                coverage = prev > 1.0 ? clampUnit(v) : 1.0;
            else
                coverage = 1.0;
            if (offset > 0.0 && _band_progress(0) > 0.0) coverage *= clampUnit(std::fabs(v - _grid_end()));
        } else {
            const double v = fmod(u, width);
            coverage = 1.0;
            const double prev = _band_progress(k - 1);
            if (prev > 0.0 && (mode == Both || (mode == One && prev > 1.0))) coverage *= clampUnit(v);
            if (_band_progress(k + 1) > 0.0) coverage *= clampUnit(std::fabs(v - width));
        }
        return;
    }
    if (e >= 1.0) {
        coverage = 0.0;
        return;
    }

    closing = true;
    const double v = fmod(u, width);
    const double h = 0.5 * width;

    double d = u;
    if (mode == Both) {
        const double a = std::fabs(v - h);
        if (state == Shrink) {
            first_half = v < h;
            squeeze = (1.0 / (1.0 - e) - 1.0) * a;
        } else if (state == Move) {
            // The two halves meet on the centre line; the distance is kept within 0..1 like
            // every other seam distance (only values below 1 are ever blended).
            first_half = v < h;
            seam = clampUnit(a);
            at_seam = seam < 1.0;
        }
        d = (h - a) - e * 0.5 * width;
    } else if (mode == One) {
        d = v - e * width;
        if (d > 0.0 && state == Shrink) squeeze = (1.0 / (1.0 - e) - 1.0) * (width - v);
    }
    coverage = clampUnit(d);

    if (mode == One && n >= 3 && k < n - 1) {
        const double to_end = clampUnit(std::fabs(v - width));
        if (_band_progress(k + 1) > 0.0) {
            coverage *= to_end;
        } else if (state == Move) {
            seam = to_end;
            at_seam = seam < 1.0;
        }
    }

    if (k == n - 1 && n >= 2 && offset > 0.0) {
        // The wrap seam: the end of the last band meets the start of band 0.
        const bool first_started = _band_progress(0) > 0.0;
        if (mode == Both) {
            if (first_started) coverage *= clampUnit(std::fabs(v - _grid_end()));
        } else if (mode == One) {
            if (first_started) {
                coverage *= clampUnit(std::fabs(v - _grid_end()));
            } else if (state == Move) {
                seam = clampUnit(std::fabs(v - width));
                at_seam = seam < 1.0;
            }
        }
    }
}

}  // namespace Velmor
