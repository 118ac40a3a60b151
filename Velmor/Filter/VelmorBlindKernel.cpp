// The Blind filter's pixel kernel at the three depths, and the edge blend it performs at seams
// (Blind::Impl::_blend_edge). Each depth keeps its rounding and every expression its order of
// operations: the checksums of the golden frames and of the Windows matrix depend on both.
#include "VelmorBlindKernel.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace Velmor {

namespace {

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

// One axis of a pass. The Outside modes map positions against the layer (`lo`..`hi`, in the
// coordinates of the buffers' origin): its size in pixels and the buffer's first pixel from the
// layer's. A layer that cannot be one here (empty, too large for 16.16 positions, or far from the
// buffer) leaves the buffer's own extent, `side`, with no offset.
template <typename Axis>
Axis axisOf(A_long lo, A_long hi, int origin, int side, int region_lo, int region_hi, int world_side) {
    const std::int64_t size = static_cast<std::int64_t>(hi) - lo;
    const std::int64_t from = static_cast<std::int64_t>(origin) - lo;
    const bool usable = !(size < 1 || size > 32767 || from < -32767 || from > 32767);
    const int layer_size = usable ? static_cast<int>(size) : side;
    const int size_fixed = toFixed(layer_size);
    return {origin,
            std::max(region_lo, 0),
            std::min(region_hi, world_side),
            usable ? static_cast<int>(from) : 0,
            size_fixed,
            size_fixed - kFixedOne};
}

// Row y of a world, addressed by rowbytes.
template <typename Pixel>
inline Pixel* rowOf(PF_LayerDef* world, int y) {
    return reinterpret_cast<Pixel*>(static_cast<char*>(world->data) +
                                    static_cast<std::ptrdiff_t>(y) * world->rowbytes);
}

}  // namespace

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

template <typename Pixel>
Blind::Impl::Kernel<Pixel>::Kernel(const Impl& i, Layer& in, Layer& out, Rect const& region)
    : impl(i),
      x_axis(axisOf<Axis>(i.layer_rect.left, i.layer_rect.right, out.getWorld()->origin_x, out.getWidth(),
                          region.left, region.right, static_cast<int>(in.getWorld()->width))),
      y_axis(axisOf<Axis>(i.layer_rect.top, i.layer_rect.bottom, out.getWorld()->origin_y, out.getHeight(),
                          region.top, region.bottom, static_cast<int>(in.getWorld()->height))),
      _src_world(in.getWorld()),
      _dst_world(out.getWorld()),
      _from_layer(toFixed(x_axis.from_layer), toFixed(y_axis.from_layer)),
      _effect_ref(i.in_data->effect_ref) {
    _samp.src = _src_world;
}

template <typename Pixel>
const Pixel* Blind::Impl::Kernel<Pixel>::src_row(int y) const {
    return rowOf<Pixel>(_src_world, y);
}

template <typename Pixel>
Pixel* Blind::Impl::Kernel<Pixel>::dst_row(int y) const {
    return rowOf<Pixel>(_dst_world, y);
}

template <typename Pixel>
auto Blind::Impl::Kernel<Pixel>::_sampler() -> const Suite& {
    if (!_suite) _suite = impl._sampling_suite<Pixel>();
    return *_suite;
}

template <typename Pixel>
void Blind::Impl::Kernel<Pixel>::_sample(VectorFixed const& at, Pixel& into) {
    if (impl.is_aa)
        _sampler().subpixel_sample(_effect_ref, at.x, at.y, &_samp, &into);
    else
        _sampler().nn_sample(_effect_ref, at.x, at.y, &_samp, &into);
}

template <typename Pixel>
void Blind::Impl::Kernel<Pixel>::_subpixel(VectorFixed const& at, Pixel& into) {
    _sampler().subpixel_sample(_effect_ref, at.x, at.y, &_samp, &into);
}

template <typename Pixel>
VectorFixed Blind::Impl::Kernel<Pixel>::_to_layer(VectorFixed const& p) const {
    return VectorFixed(detail::wrapAdd(p.x, _from_layer.x), detail::wrapAdd(p.y, _from_layer.y));
}

template <typename Pixel>
VectorFixed Blind::Impl::Kernel<Pixel>::_to_buffer(VectorFixed const& p) const {
    return VectorFixed(detail::wrapSub(p.x, _from_layer.x), detail::wrapSub(p.y, _from_layer.y));
}

template <typename Pixel>
void Blind::Impl::Kernel<Pixel>::_map(VectorFixed& p) const {
    VectorFixed l = _to_layer(p);
    Border::offsetF(l, x_axis.size, x_axis.max, y_axis.size, y_axis.max, impl.border_type);
    p = _to_buffer(l);
}

template <typename Pixel>
void Blind::Impl::Kernel<Pixel>::classify(int x, int y, PixelInfo& info) const {
    info = PixelInfo();
    if (impl.is_aa)
        impl._get_pixel_info_aa(x + x_axis.origin, y + y_axis.origin, info.coverage, info.squeeze, info.seam,
                                info.slot, info.closing, info.first_half, info.at_seam);
    else
        impl._get_pixel_info(x + x_axis.origin, y + y_axis.origin, info.coverage, info.squeeze, info.seam,
                             info.slot, info.closing, info.first_half, info.at_seam);
}

template <typename Pixel>
void Blind::Impl::Kernel<Pixel>::pixel(int x, int y, const Pixel& src, Pixel& dst, PixelInfo const& info) {
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
    _map(p);
    _sample(p, dst);

    if (info.at_seam) {
        if (mode == One) {
            // The moved image fades into the unmoved input of the next band.
            impl._blend_edge(dst, src, info.seam);
        } else if (mode == Both) {
            // The two halves meet on the centre line: mix in the other half's sample.
            VectorFixed q = info.first_half ? VectorFixed(px, py) - shift : VectorFixed(px, py) + shift;
            _map(q);
            Pixel other;
            _subpixel(q, other);
            impl._blend_edge(dst, other, (info.seam + 1.0) * 0.5);
        }
    }

    if (impl.is_aa && state == Shrink && impl.border_type == Border::Tile) {
        // Soften the tile seams: the first and last pixel of a tile take half of the
        // opposite edge at the very edge, fading out over one pixel. The tiles are the
        // layer's: edges and opposite edges are found in layer positions.
        Pixel t;
        const VectorFixed l = _to_layer(p);
        if (l.x < kFixedOne) {
            _subpixel(_to_buffer(VectorFixed(x_axis.max, l.y)), t);
            impl._blend_edge(dst, t, fromFixed(l.x) * 0.5 + 0.5);
        } else if (x_axis.max - l.x < kFixedOne) {
            _subpixel(_to_buffer(VectorFixed(0, l.y)), t);
            impl._blend_edge(dst, t, fromFixed(x_axis.max - l.x) * 0.5 + 0.5);
        }
        if (l.y < kFixedOne) {
            _subpixel(_to_buffer(VectorFixed(l.x, y_axis.max)), t);
            impl._blend_edge(dst, t, fromFixed(l.y) * 0.5 + 0.5);
        } else if (y_axis.max - l.y < kFixedOne) {
            _subpixel(_to_buffer(VectorFixed(l.x, 0)), t);
            impl._blend_edge(dst, t, fromFixed(y_axis.max - l.y) * 0.5 + 0.5);
        }
    }

    dst.alpha = scaledAlpha(dst, info.coverage);
}

template <typename Pixel>
void Blind::Impl::Kernel<Pixel>::span(const Pixel* src_row, Pixel* dst_row, int x0, int x1,
                                      double coverage) const {
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

template class Blind::Impl::Kernel<PF_Pixel>;
template class Blind::Impl::Kernel<PF_Pixel16>;
template class Blind::Impl::Kernel<PF_PixelFloat>;

}  // namespace Velmor
