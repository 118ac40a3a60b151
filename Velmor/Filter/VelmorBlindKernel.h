// The Blind filter's pixel kernel: what one output pixel becomes from its classification, at each
// host depth. A pixel outside the closing bands of Move and Shrink keeps the input with its alpha
// scaled by the coverage; one inside them shows a sample of the input at its displaced position,
// mapped by the Outside mode against the layer and blended at the seams. The kernel also writes a
// run of pixels classified alike at memory speed, for the span engine (VelmorBlindSpans.cpp),
// with the bytes the pixel form would give.
//
// One algorithm for the three depths: the pixel type is the template parameter and
// BlindPixelTraits gives each depth its channel, its sampling suite and its rounding. The
// definitions live in VelmorBlindKernel.cpp, instantiated there for the three depths.
#ifndef VELMOR_BLIND_KERNEL_H
#define VELMOR_BLIND_KERNEL_H

#include <type_traits>

#include "VelmorBlindImpl.h"

namespace Velmor {

// What the pixel pass needs to know of each host pixel type: its channel type, the sampling suite
// of its depth, and how a channel value computed in double is stored (integer channels add 0.5 and
// truncate, float channels keep the double as float, unrounded).
template <typename Pixel, typename SuiteType, int Index>
struct BlindPixelTraitsBase {
    using Channel = std::remove_cv_t<decltype(Pixel::alpha)>;
    using Suite = SuiteType;
    static constexpr int index = Index;  // one per depth: the Impl's once-flag for the suite
    static Channel channel(double v) {
        if constexpr (std::is_floating_point_v<Channel>)
            return static_cast<Channel>(v);
        else
            return static_cast<Channel>(v + 0.5);  // never negative: scaling and convex blends
    }
};

template <>
struct BlindPixelTraits<PF_Pixel> : BlindPixelTraitsBase<PF_Pixel, PF_Sampling8Suite1, 0> {
    static const Suite* suite(AEGP_SuiteHandler const& s) { return s.Sampling8Suite1(); }
};
template <>
struct BlindPixelTraits<PF_Pixel16> : BlindPixelTraitsBase<PF_Pixel16, PF_Sampling16Suite1, 1> {
    static const Suite* suite(AEGP_SuiteHandler const& s) { return s.Sampling16Suite1(); }
};
template <>
struct BlindPixelTraits<PF_PixelFloat> : BlindPixelTraitsBase<PF_PixelFloat, PF_SamplingFloatSuite1, 2> {
    static const Suite* suite(AEGP_SuiteHandler const& s) { return s.SamplingFloatSuite1(); }
};

// The kernel of one pass over a region at one depth: the worlds, the region's limits, the Outside
// limits and the sampler, with the work on one pixel and on a run of alike pixels.
template <typename Pixel>
class Blind::Impl::Kernel {
public:
    using Suite = typename BlindPixelTraits<Pixel>::Suite;

    // One axis of the pass: the buffers' origin on it, the region's pixels [begin, end) clipped
    // to the input, and the layer the Outside modes map positions against. The layer, not the
    // buffers, which for a region of the frame are only part of it: a buffer position plus
    // `from_layer` is the position relative to the layer's first pixel; `size` and `max` are the
    // layer's size and last pixel (16.16).
    struct Axis {
        int origin;
        int begin;
        int end;
        int from_layer;
        int size;
        int max;
    };

    Kernel(const Impl& impl, Layer& in, Layer& out, Rect const& region);

    bool empty() const { return x_axis.begin >= x_axis.end || y_axis.begin >= y_axis.end; }
    const Pixel* src_row(int y) const;
    Pixel* dst_row(int y) const;

    // Classification of the buffer pixel (x, y) at its layer position.
    void classify(int x, int y, PixelInfo& info) const;
    // The output pixel (x, y) from its classification.
    void pixel(int x, int y, const Pixel& src, Pixel& dst, PixelInfo const& info);
    // Pixels x0..x1 (inclusive) of one row, all classified alike: what pixel() does for each,
    // at memory speed. Only for results that do not sample (Still, or a band not closing).
    void span(const Pixel* src_row, Pixel* dst_row, int x0, int x1, double coverage) const;

    const Impl& impl;
    const Axis x_axis;
    const Axis y_axis;

private:
    const Suite& _sampler();
    void _sample(VectorFixed const& at, Pixel& into);
    void _subpixel(VectorFixed const& at, Pixel& into);
    VectorFixed _to_layer(VectorFixed const& p) const;
    VectorFixed _to_buffer(VectorFixed const& p) const;
    // A buffer position mapped by the Outside mode against the layer.
    void _map(VectorFixed& p) const;

    PF_LayerDef* const _src_world;
    PF_LayerDef* const _dst_world;
    const VectorFixed _from_layer;
    PF_SampPB _samp{};
    PF_ProgPtr const _effect_ref;
    // Looked up on the band's first sample only: passes that never sample acquire nothing.
    const Suite* _suite = nullptr;
};

}  // namespace Velmor

#endif
