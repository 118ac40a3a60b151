// Velmor::Blind: the blinds transition. The layer is cut into parallel bands across the
// Direction axis; as Completion runs from 0 to 1 the bands close one after another (staggered by
// Delay, in normal, inverse or seeded random order), each from its leading edge (One) or from
// both edges towards its centre line (Both).
//
// Blind::Parameter is the per-frame input record. Blind::Impl is the filter's private state: its
// constructor prepares the bands once per frame (count, grid placement, each timing slot's eased
// progress and Move displacement, the spatial order of the slots), after which the state is only
// read, from any number of threads, by the pixel classification and the pixel pass.
//
// Blind is the filter as the threaded executor sees it: built once from the record, then asked
// to run its region form on disjoint row bands of one output from several threads at once.
#ifndef VELMOR_BLIND_H
#define VELMOR_BLIND_H

#include <mutex>
#include <type_traits>
#include <vector>

#include "AE_Effect.h"
#include "AEGP_SuiteHandler.h"
#include "Pimpl.h"
#include "VelmorFilterMulti.h"
#include "VelmorGeneral.h"
#include "VelmorLayer.h"
#include "shared_array.h"

namespace Velmor {

class Blind : public IFilterWithRegion {
public:
    // Popup codes, the 1-based item numbers of the effect's controls.
    enum Mode { One = 1, Both = 2 };
    enum Order { Normal = 1, Inverse = 2, RandomOrder = 3 };
    enum State { Still = 1, Move = 2, Shrink = 3 };

    class Parameter;
    class Impl;

    // Prepares the bands (Blind::Impl). Whatever the preparation throws propagates, with nothing
    // left allocated.
    explicit Blind(Parameter const& parameter);
    ~Blind() override;
    // Deep copies: a copy owns an Impl of its own (sharing only the read-only band arrays).
    Blind(Blind const& other);
    Blind& operator=(Blind const& other);

    // The whole of `in` (its getSize()) into `out`.
    void execute(Layer& in, Layer& out) override;
    // Only the pixels of `region` (buffer coordinates, clipped to the input). Safe to call from
    // several threads at once for disjoint row bands of one output.
    void execute(Layer& in, Layer& out, Rect const& region) override;

    // Whether a render with these popup values can sample further from a pixel than a band
    // width: Tile wraps the positions of Move and Shrink around the layer, and Shrink in Both
    // squeezes hidden pixels without bound near a band's end. Such a render needs the whole
    // layer as its input, not only the requested rectangle grown by the band width.
    static bool samplesWholeLayer(int state, int mode, int border_type);

private:
    friend class BlindImplAccess;
    Impl* _get() const { return static_cast<Impl*>(_impl->GetPtr()); }

    ImplHolderBase* _impl;
};

// A plain value record. Setters store the value unchecked and return the record so calls chain.
class Blind::Parameter {
public:
    Parameter();

    Parameter& setInData(PF_InData* v) {
        _in_data = v;
        return *this;
    }
    Parameter& setLayerRect(PF_LRect const& v) {
        _layer_rect = v;
        return *this;
    }
    Parameter& setIsAA(bool v) {
        _is_aa = v;
        return *this;
    }
    Parameter& setMode(int v) {
        _mode = v;
        return *this;
    }
    Parameter& setCompletion(double v) {
        _completion = v;
        return *this;
    }
    Parameter& setDelay(double v) {
        _delay = v;
        return *this;
    }
    Parameter& setWidth(double v) {
        _width = v;
        return *this;
    }
    Parameter& setDirection(double v) {
        _direction = v;
        return *this;
    }
    Parameter& setOffset(double v) {
        _offset = v;
        return *this;
    }
    Parameter& setOrder(int v) {
        _order = v;
        return *this;
    }
    Parameter& setSeed(int v) {
        _seed = v;
        return *this;
    }
    Parameter& setEasingType(int v) {
        _easing_type = v;
        return *this;
    }
    Parameter& setEasingMode(int v) {
        _easing_mode = v;
        return *this;
    }
    Parameter& setState(int v) {
        _state = v;
        return *this;
    }
    Parameter& setBorderType(int v) {
        _border_type = v;
        return *this;
    }

    PF_InData* in_data() const { return _in_data; }
    PF_LRect layer_rect() const { return _layer_rect; }
    bool is_aa() const { return _is_aa; }
    int mode() const { return _mode; }
    double completion() const { return _completion; }
    double delay() const { return _delay; }
    double width() const { return _width; }
    double direction() const { return _direction; }
    double offset() const { return _offset; }
    int order() const { return _order; }
    int seed() const { return _seed; }
    int easing_type() const { return _easing_type; }
    int easing_mode() const { return _easing_mode; }
    int state() const { return _state; }
    int border_type() const { return _border_type; }

private:
    PF_InData* _in_data;   // not owned
    PF_LRect _layer_rect;  // the whole layer, right and bottom exclusive
    bool _is_aa;
    int _mode;
    double _completion;
    double _delay;
    double _width;      // pixels of the buffer being rendered
    double _direction;  // radians
    double _offset;     // phase of the grid, a fraction of the extent, 0 <= offset < 1
    int _order;
    int _seed;
    int _easing_type;
    int _easing_mode;
    int _state;
    int _border_type;
};

// What the pixel pass needs to know of each host pixel type: its channel type, the sampling suite
// of its depth, and how a channel value computed in double is stored (integer channels add 0.5 and
// truncate, float channels keep the double as float, unrounded).
template <typename Pixel>
struct BlindPixelTraits;

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

    // The per-depth passes: one algorithm, written once in _process. _process_per_pixel
    // classifies every pixel; _process decides whole spans of a row at once where the zones
    // allow it and gives the same bytes.
    void _process8(Layer& in, Layer& out, Rect const& region) const;
    void _process16(Layer& in, Layer& out, Rect const& region) const;
    void _process32(Layer& in, Layer& out, Rect const& region) const;
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
