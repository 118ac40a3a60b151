// The Blind filter's span engine: the passes over a region's rows at one depth. Every pixel can
// be classified on its own (the reference form), but most of a frame needs no classification:
// the engine finds from the bands' progress the zones of the grid position u over which the
// result is known, and has the kernel (VelmorBlindKernel.h) write each run of a row inside one
// zone at once, with the bytes the pixel form gives.
//
// The zones: every band's result as a function of v, the position inside it (0 at its start
// edge, `width` at its end), is known from its progress: a band that has not started is kept
// (apart from the one-pixel ramps against started neighbours), a closed band is cleared, and a
// closing band of the Still state is cleared up to its closing edge(s) and kept beyond the
// one-pixel ramp. Closing bands of the other states sample the input at every pixel and get no
// zone. Which edges carry ramps comes from _band_edges, the rules the classifier applies.
//
// The zones stay a margin clear of every band start and every ramp, far beyond the rounding of
// the band starts, of the band a position falls in and of the classification's own arithmetic.
// Only neighbouring bands whose result does not depend on v at all (closed, or not started and
// without ramps) are joined across their common edge, so that runs of such bands cost one span.
#include "VelmorBlindKernel.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <limits>
#include <vector>

namespace Velmor {

// ---------------------------------------------------------------------------------------------
// The passes by depth

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

void Blind::Impl::_execute_per_pixel(Layer& in, Layer& out, Rect const& region) const {
    if (!in.getWorld() || !out.getWorld() || !in.equalInSize(out)) return;
    switch (in.getBPC()) {
        case 0: _process_per_pixel<PF_Pixel>(in, out, region); break;
        case 1: _process_per_pixel<PF_Pixel16>(in, out, region); break;
        case 2: _process_per_pixel<PF_PixelFloat>(in, out, region); break;
        default: break;
    }
}

// One pass over the rows of a region: which pixels the kernel classifies one by one and which
// it writes a span at a time.
template <typename Pixel>
struct Blind::Impl::Pass {
    Kernel<Pixel>& k;

    // Every pixel classified on its own.
    void run_per_pixel() {
        for (int y = k.y_axis.begin; y < k.y_axis.end; ++y) {
            const Pixel* const src_row = k.src_row(y);
            Pixel* const dst_row = k.dst_row(y);
            for (int x = k.x_axis.begin; x < k.x_axis.end; ++x) {
                PixelInfo info;
                k.classify(x, y, info);
                k.pixel(x, y, src_row[x], dst_row[x], info);
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
        const double slope = k.impl.dir.x;
        std::size_t cursor = 0;
        double gap_lo = 0.0, gap_hi = 0.0;  // empty: no gap known yet
        for (int y = k.y_axis.begin; y < k.y_axis.end; ++y) {
            const Pixel* const src_row = k.src_row(y);
            Pixel* const dst_row = k.dst_row(y);
            const int ly = y + k.y_axis.origin;
            // Classifications depend on the grid position alone: pixels at the same position
            // (an axis almost along the row) reuse the last one.
            double cached_u = 0.0;
            bool cached = false;
            PixelInfo info;
            int x = k.x_axis.begin;
            while (x < k.x_axis.end) {
                bool wrapped = false;
                const double u = k.impl._grid_position(x + k.x_axis.origin, ly, wrapped);
                const Zone* zone = find(zones, u, cursor, gap_lo, gap_hi);
                if (!zone) {
                    if (!cached || u != cached_u) {
                        k.classify(x, y, info);
                        cached_u = u;
                        cached = true;
                    }
                    k.pixel(x, y, src_row[x], dst_row[x], info);
                    ++x;
                    continue;
                }
                const int last = run_end(x, ly, u, wrapped, *zone, slope);
                k.classify(x, y, info);
                cached_u = u;
                cached = true;
                const bool as_zone = zone->kind == ZoneKeep ? info.coverage == 1.0 : info.coverage == 0.0;
                if (as_zone && (k.impl.state == Still || !info.closing)) {
                    k.span(src_row, dst_row, x, last, info.coverage);
                } else {
                    // Not what the zone promised: classify the span's pixels one by one.
                    for (int i = x; i <= last; ++i) {
                        k.classify(i, y, info);
                        k.pixel(i, y, src_row[i], dst_row[i], info);
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
            const double v = k.impl._grid_position(i + k.x_axis.origin, ly, w);
            return w == wrapped && zone.lo <= v && v <= zone.hi;
        };
        const double room = static_cast<double>(k.x_axis.end - 1 - x);
        double steps = room;
        if (slope > 0.0)
            steps = (zone.hi - u) / slope;
        else if (slope < 0.0)
            steps = (zone.lo - u) / slope;
        if (!(steps < room)) steps = room;
        if (!(steps > 0.0)) steps = 0.0;
        int good = x;            // known inside
        int bad = k.x_axis.end;  // known outside, or past the row
        const int guess = x + static_cast<int>(steps);
        if (guess > x) {
            if (inside(guess))
                good = guess;
            else
                bad = guess;
        }
        if (bad == k.x_axis.end) {
            // Gallop forward from the last known pixel inside.
            int step = 1;
            while (good + step < k.x_axis.end && inside(good + step)) {
                good += step;
                step *= 2;
            }
            if (good + step < k.x_axis.end) bad = good + step;
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
    Kernel<Pixel> kernel(*this, in, out, region);
    if (!kernel.empty()) Pass<Pixel>{kernel}.run_per_pixel();
}

template <typename Pixel>
void Blind::Impl::_process(Layer& in, Layer& out, Rect const& region) const {
    Kernel<Pixel> kernel(*this, in, out, region);
    if (kernel.empty()) return;
    const auto& xs = kernel.x_axis;
    const auto& ys = kernel.y_axis;
    // The largest grid position of the region, from its corners (the position is affine).
    double u_bound = 0.0;
    for (int y : {ys.begin, ys.end - 1})
        for (int x : {xs.begin, xs.end - 1}) {
            const double raw = Vector<double>(x + xs.origin, y + ys.origin).dot(dir) - proj_min - offset_px;
            u_bound = std::max(u_bound, std::fabs(raw) + std::fabs(extent));
        }
    std::vector<Zone> zones;
    Pass<Pixel> pass{kernel};
    if (_zones(zones, u_bound))
        pass.run_spans(zones);
    else
        pass.run_per_pixel();
}

// ---------------------------------------------------------------------------------------------
// The zones

namespace {

// A stretch [lo, hi] of v inside one band with one known result.
struct Piece {
    double lo;
    double hi;
    int kind;
};

}  // namespace

bool Blind::Impl::_zones(std::vector<Zone>& zones, double u_bound) const {
    zones.clear();
    const int n = num_bands;
    const double w = width;
    if (n < 1 || !(std::isfinite(w) && w > 0.0) || !std::isfinite(extent) || !std::isfinite(proj_min) ||
        !std::isfinite(offset_px) || !std::isfinite(dir.x) || !std::isfinite(dir.y) ||
        !std::isfinite(u_bound))
        return false;
    if (mode != One && mode != Both) return false;
    // One zone record per band at most twice over; past this the bands are far thinner than a
    // pixel and classifying every pixel is as cheap.
    if (n > (1 << 22)) return false;

    const double inf = std::numeric_limits<double>::infinity();
    const double margin = 1e-9 * (u_bound + static_cast<double>(n) * w + w + 2.0);
    const double r = _grid_end();

    std::vector<Piece> pieces;
    // Kept from lo to hi, apart from the ramp around the wrap seam at r when the band has one.
    auto keep = [&](double lo, double hi, bool wrap) {
        if (wrap) {
            pieces.push_back({lo, std::min(hi, r - 1.0), ZoneKeep});
            pieces.push_back({std::max(lo, r + 1.0), hi, ZoneKeep});
        } else {
            pieces.push_back({lo, hi, ZoneKeep});
        }
    };
    // The pieces of band k when its result depends on v (returns 0), or the one result of the
    // whole band (returns the kind, pieces left empty).
    auto describe = [&](int k) -> int {
        pieces.clear();
        const double e = _band_progress(k);
        if (std::isnan(e)) return 0;
        if (e <= 0.0) {
            if (!is_aa || n == 1) return ZoneKeep;
            const BandEdges edges = _band_edges(k, e);
            if (!edges.start && !edges.end && !edges.wrap) return ZoneKeep;
            keep(edges.start ? 1.0 : 0.0, edges.end ? w - 1.0 : w, edges.wrap);
            return 0;
        }
        if (e >= 1.0) return ZoneClear;
        if (state != Still) return 0;
        const BandEdges edges = is_aa ? _band_edges(k, e) : BandEdges();
        if (mode == One) {
            const double edge = e * w;
            pieces.push_back({0.0, edge, ZoneClear});
            if (is_aa)
                keep(edge + 1.0, edges.end ? w - 1.0 : w, edges.wrap);
            else
                keep(edge, w, false);
        } else {
            const double t = e * 0.5 * w;
            pieces.push_back({0.0, t, ZoneClear});
            if (is_aa)
                keep(t + 1.0, w - t - 1.0, edges.wrap);
            else
                keep(t, w - t, false);
            pieces.push_back({w - t, w, ZoneClear});
        }
        return 0;
    };

    std::vector<signed char> whole(static_cast<std::size_t>(n));
    for (int k = 0; k < n; ++k) whole[static_cast<std::size_t>(k)] = static_cast<signed char>(describe(k));

    bool sound = true;
    auto push = [&](double lo, double hi, int kind) {
        if (!(lo <= hi)) return;
        if (!zones.empty() && zones.back().hi >= lo) {
            if (zones.back().kind != kind) {
                sound = false;  // cannot happen: zones of different results never touch
                return;
            }
            zones.back().hi = std::max(zones.back().hi, hi);
            return;
        }
        zones.push_back({lo, hi, kind});
    };

    for (int k = 0; k < n && sound; ++k) {
        const double s0 = static_cast<double>(k) * w;
        const double s1 = static_cast<double>(k + 1) * w;
        const int kind = whole[static_cast<std::size_t>(k)];
        if (kind != 0) {
            const double lo =
                k == 0 ? -inf : (whole[static_cast<std::size_t>(k - 1)] == kind ? s0 : s0 + margin);
            const double hi =
                k == n - 1 ? inf : (whole[static_cast<std::size_t>(k + 1)] == kind ? s1 : s1 - margin);
            push(lo, hi, kind);
            continue;
        }
        describe(k);
        for (Piece const& p : pieces) push(s0 + p.lo + margin, s0 + p.hi - margin, p.kind);
    }
    if (!sound || zones.empty()) {
        zones.clear();
        return false;
    }
    return true;
}

}  // namespace Velmor
