// The Blind filter's shell and its state's life cycle, the band preparation that runs once per
// frame, and the two pixel classifications (hard-edged and anti-aliased) with the rules for which
// band edges the anti-aliased one softens. The pixel passes that use them are in
// VelmorBlindKernel.cpp and VelmorBlindSpans.cpp.
#include "VelmorBlindImpl.h"

#include <climits>
#include <cmath>
#include <cstddef>
#include <new>
#include <utility>

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
        coverage = 1.0;
        if (n == 1) return;
        const double v = fmod(u, width);
        const BandEdges edges = _band_edges(k, e);
        if (edges.start) coverage *= clampUnit(v);
        if (edges.end) coverage *= clampUnit(std::fabs(v - width));
        if (edges.wrap) coverage *= clampUnit(std::fabs(v - _grid_end()));
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

    const BandEdges edges = _band_edges(k, e);
    if (edges.end) coverage *= clampUnit(std::fabs(v - width));
    if (edges.wrap) coverage *= clampUnit(std::fabs(v - _grid_end()));
    if (edges.end_seam) {
        seam = clampUnit(std::fabs(v - width));
        at_seam = seam < 1.0;
    }
}

Blind::Impl::BandEdges Blind::Impl::_band_edges(int k, double e) const {
    BandEdges edges;
    const int n = num_bands;
    if (n < 2) return edges;
    const bool last = k == n - 1;
    if (e <= 0.0) {
        // At rest: a ramp against each started neighbour. Against the band before, in One, only
        // once that band has closed past its end (its progress beyond 1); band 0's band before is
        // the last one across the wrap seam, which must have closed past where the grid ends.
        if (k == 0) {
            const double before = _band_progress(n - 1);
            edges.start =
                offset > 0.0 && (mode == Both ? before > 0.0 : mode == One && before > _grid_end() / width);
        } else {
            const double before = _band_progress(k - 1);
            // The last band counts a neighbour below 1e-6 as not started, like band 0 its next.
            const bool started = last ? !(before < 1e-6) : before > 0.0;
            edges.start = started && (mode == Both || (mode == One && before > 1.0));
        }
        if (k == 0)
            edges.end = _band_progress(1) >= 1e-6;
        else if (!last)
            edges.end = _band_progress(k + 1) > 0.0;
        edges.wrap = last && offset > 0.0 && _band_progress(0) > 0.0;
        return edges;
    }
    // Closing: in One, the end edge against the next band (from three bands on) or, for the last
    // band with the grid offset, against band 0 across the wrap seam; in Both only the latter.
    // Where the neighbour has not started, Move fades the moved image into it instead.
    const bool next_edge = mode == One && n >= 3 && !last;
    const bool wrap_edge = last && offset > 0.0 && (mode == One || mode == Both);
    const bool next_started = next_edge ? _band_progress(k + 1) > 0.0 : wrap_edge && _band_progress(0) > 0.0;
    edges.end = next_edge && next_started;
    edges.wrap = wrap_edge && next_started;
    edges.end_seam = (next_edge || wrap_edge) && !next_started && mode == One && state == Move;
    return edges;
}

}  // namespace Velmor
