// Blind::Impl, the filter's private state: its constructor prepares the bands once per frame
// (count, grid placement, each timing slot's eased progress and Move displacement, the spatial
// order of the slots), after which the state is only read, from any number of threads, by the
// pixel classification and the pixel passes.
//
// The work on it lives in three files: VelmorBlind.cpp prepares the bands and classifies pixels,
// VelmorBlindKernel.{h,cpp} turn one classified pixel (or a run of alike pixels) into output at
// each depth, and VelmorBlindSpans.cpp walks a region's rows, deciding whole spans at once where
// the grid allows. Only those files and the tests that read the prepared state include this one.
#ifndef VELMOR_BLIND_IMPL_H
#define VELMOR_BLIND_IMPL_H

#include <mutex>
#include <vector>

#include "AEGP_SuiteHandler.h"
#include "VelmorBlind.h"
#include "VelmorGeneral.h"
#include "shared_array.h"

namespace Velmor {

// What the passes need to know of each host pixel type (VelmorBlindKernel.h).
template <typename Pixel>
struct BlindPixelTraits;

class Blind::Impl {
public:
    // One timing slot: its eased progress (0 not started, 1 closed; the overshooting curves may
    // leave 0..1 on the way) and, in Move while closing, the displacement of the band's image.
    struct BandState {
        double progress = 0.0;
        VectorFixed shift;
    };

    // Copies the record and prepares the bands. Throws std::bad_alloc when the band arrays
    // cannot be had (an unrepresentable band count included), and the missing-suite PF_Err when
    // the record carries no basic suite or no ANSI table.
    explicit Impl(Parameter const& p);
    // Copies (the compiler's) copy every value and share the band arrays; the suite handler is
    // never shared (see Suites). Destruction releases band_order, band_states, then the handler.

    // Renders the pixels of `region` of `in` into `out` by the input's depth code (0, 1, 2).
    // Does nothing when the two layers differ in size or the depth code is unknown. A missing
    // sampling suite throws the suite handler's missing-suite error.
    void execute(Layer& in, Layer& out, Rect const& region) const;

    // dst's red, green and blue become dst x w + src x (1 - w); alpha is left alone. Integer
    // channels add 0.5 and truncate; float channels keep the double result as float.
    void _blend_edge(PF_Pixel& dst, PF_Pixel const& src, double w) const;
    void _blend_edge(PF_Pixel16& dst, PF_Pixel16 const& src, double w) const;
    void _blend_edge(PF_PixelFloat& dst, PF_PixelFloat const& src, double w) const;

private:
    friend class BlindImplAccess;  // the tests read the prepared state

    // The classification outputs of one pixel, set to the values the passes start from.
    struct PixelInfo {
        double coverage = 1.0;
        double squeeze = 0.0;
        double seam = 0.0;
        int slot = 0;
        bool closing = false;
        bool first_half = false;
        bool at_seam = false;
    };

    // The edges of one band that the anti-aliased classification softens against its
    // neighbours, v being the position inside the band (0 at its start edge, `width` at its end).
    // The classifier applies them and the zone builder keeps its zones off them: both read them
    // from _band_edges, so the two cannot disagree about where a ramp lies.
    struct BandEdges {
        bool start = false;     // coverage x C(v): a band at rest after a started one
        bool end = false;       // coverage x C(|v - width|): the next band has started
        bool wrap = false;      // coverage x C(|v - _grid_end()|): the last band, against band 0
                                // across the grid's wrap seam
        bool end_seam = false;  // Move in One: the moved image fades over the band's last pixel
                                // into the next band (band 0 across the wrap), not yet started
    };

    // A stretch [lo, hi] of the grid position u over which every pixel's result is known to be
    // the same without classifying it: the input kept (coverage 1) or its alpha cleared
    // (coverage 0). Between zones lie the one-pixel ramps, band edges and the closing bands
    // that sample, whose pixels are classified one by one.
    enum ZoneKind { ZoneKeep = 1, ZoneClear = 2 };
    struct Zone {
        double lo;
        double hi;
        int kind;
    };

    // The per-depth passes: one algorithm, written once. Kernel turns a classified pixel, or a
    // run of pixels classified alike, into output at one depth (VelmorBlindKernel.h); Pass walks
    // the rows of a region, every pixel classified on its own (_process_per_pixel) or whole
    // spans decided at once where the zones allow it (_process), with the same bytes
    // (VelmorBlindSpans.cpp).
    void _process8(Layer& in, Layer& out, Rect const& region) const;
    void _process16(Layer& in, Layer& out, Rect const& region) const;
    void _process32(Layer& in, Layer& out, Rect const& region) const;
    template <typename Pixel>
    class Kernel;
    template <typename Pixel>
    struct Pass;
    template <typename Pixel>
    void _process(Layer& in, Layer& out, Rect const& region) const;
    template <typename Pixel>
    void _process_per_pixel(Layer& in, Layer& out, Rect const& region) const;
    // The per-pixel form at the input's depth (the reference the span form must equal).
    void _execute_per_pixel(Layer& in, Layer& out, Rect const& region) const;

    // The zones of this frame, sorted and disjoint, for positions up to u_bound in magnitude.
    // False (zones empty) when the grid gives nothing to gain or cannot be reasoned about:
    // the pass then classifies every pixel.
    bool _zones(std::vector<Zone>& zones, double u_bound) const;
    // What _grid_position computes, and whether the position wrapped around the extent.
    double _grid_position(int x, int y, bool& wrapped) const {
        double u = Vector<double>(x, y).dot(dir) - proj_min - offset_px;
        wrapped = u < 0.0;
        if (wrapped) u += extent;
        return u;
    }

    // The sampling suite of a pass's depth. The first caller acquires it through the handler,
    // exactly once however many bands ask at the same time; the handler releases it when the
    // Impl dies.
    template <typename Pixel>
    const typename BlindPixelTraits<Pixel>::Suite* _sampling_suite() const;

    void _prepare();
    static double _step(double v);

    // Classification of the layer pixel (x, y). The outputs keep the caller's values except
    // where the rules write them; coverage and slot are always written.
    void _get_pixel_info(int x, int y, double& coverage, double& squeeze, double& seam, int& slot,
                         bool& closing, bool& first_half, bool& at_seam) const;
    void _get_pixel_info_aa(int x, int y, double& coverage, double& squeeze, double& seam, int& slot,
                            bool& closing, bool& first_half, bool& at_seam) const;
    // The softened edges of spatial band k whose progress is e (at rest when e <= 0, closing
    // otherwise; a closed band has none that matter). Reads the neighbours' progress and, for
    // the wrap seam, _grid_end only where the rules need it.
    BandEdges _band_edges(int k, double e) const;

    // Position of (x, y) along the grid (wrapped once) and the spatial band holding it.
    double _grid_position(int x, int y) const;
    int _band_at(double u) const;
    double _band_progress(int k) const { return band_states[band_order[k]].progress; }
    // Where the grid ends inside the last band.
    double _grid_end() const;

    // The suite handler with the once-flags of its sampling suites. It is never shared (it
    // would release its suites twice): a copy starts with an empty handler on the same basic
    // suite and an assigned object keeps its own, so every suite is acquired and released by one
    // handler only.
    class Suites {
    public:
        explicit Suites(const SPBasicSuite* basic) : handler(basic), _basic(basic) {}
        Suites(Suites const& other) : Suites(other._basic) {}
        Suites& operator=(Suites const&) { return *this; }

        AEGP_SuiteHandler handler;
        // One per sampling suite (8, 16, float): the first acquisition is made once.
        mutable std::once_flag sampling_once[3];

    private:
        const SPBasicSuite* _basic;
    };

    PF_InData* in_data;
    Suites suites;

    PF_LRect layer_rect;
    bool is_aa;
    int mode;
    double completion;
    double delay;
    double width;
    double direction;
    double offset;
    int order;
    int seed;
    int easing_type;
    int easing_mode;
    int state;
    int border_type;

    double num_bands_real;
    double band_duration;
    double band_step;
    int num_bands;
    double proj_max;
    double proj_min;
    double extent;
    double offset_px;
    Vector<double> dir;
    // Declared last so that they go first: band_order, then band_states, then the handler.
    shared_array<BandState> band_states;  // by timing slot
    shared_array<int> band_order;         // spatial band -> timing slot
};

}  // namespace Velmor

#endif
