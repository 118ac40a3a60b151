// The zones of the grid position u over which the pixel pass can decide whole spans of a row at
// once. Every band's result as a function of v, the position inside it (0 at its start edge,
// `width` at its end), is known from its progress: a band that has not started is kept (apart
// from the one-pixel ramps against started neighbours), a closed band is cleared, and a closing
// band of the Still state is cleared up to its closing edge(s) and kept beyond the one-pixel
// ramp. Closing bands of the other states sample the input at every pixel and get no zone.
//
// The zones stay a margin clear of every band start and every ramp, far beyond the rounding of
// the band starts, of the band a position falls in and of the classification's own arithmetic.
// Only neighbouring bands whose result does not depend on v at all (closed, or not started and
// without ramps) are joined across their common edge, so that runs of such bands cost one span.
#include "VelmorBlind.h"

#include <cmath>
#include <limits>

namespace Velmor {

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
    // The pieces of band k when its result depends on v (returns 0), or the one result of the
    // whole band (returns the kind, pieces left empty).
    auto describe = [&](int k) -> int {
        pieces.clear();
        const double e = _band_progress(k);
        if (std::isnan(e)) return 0;
        if (e <= 0.0) {
            if (!is_aa) return ZoneKeep;
            bool start = false;  // softened start edge: C(v)
            bool end = false;    // softened end edge: C(|v - width|)
            bool at_r = false;   // the wrap seam inside the last band: C(|v - r|)
            if (k == 0) {
                if (n == 1) return ZoneKeep;
                end = _band_progress(1) >= 1e-6;
                if (offset > 0.0) {
                    const double last = _band_progress(n - 1);
                    start = mode == Both ? last > 0.0 : last > _grid_end() / width;
                }
            } else if (k == n - 1) {
                const double prev = _band_progress(k - 1);
                if (prev >= 1e-6) start = mode == Both || prev > 1.0;
                at_r = offset > 0.0 && _band_progress(0) > 0.0;
            } else {
                const double prev = _band_progress(k - 1);
                start = prev > 0.0 && (mode == Both || prev > 1.0);
                end = _band_progress(k + 1) > 0.0;
            }
            if (!start && !end && !at_r) return ZoneKeep;
            const double lo = start ? 1.0 : 0.0;
            const double hi = end ? w - 1.0 : w;
            if (at_r) {
                pieces.push_back({lo, std::min(hi, r - 1.0), ZoneKeep});
                pieces.push_back({std::max(lo, r + 1.0), hi, ZoneKeep});
            } else {
                pieces.push_back({lo, hi, ZoneKeep});
            }
            return 0;
        }
        if (e >= 1.0) return ZoneClear;
        if (state != Still) return 0;
        const bool at_r = is_aa && k == n - 1 && n >= 2 && offset > 0.0 && _band_progress(0) > 0.0;
        auto keep = [&](double lo, double hi) {
            if (at_r) {
                pieces.push_back({lo, std::min(hi, r - 1.0), ZoneKeep});
                pieces.push_back({std::max(lo, r + 1.0), hi, ZoneKeep});
            } else {
                pieces.push_back({lo, hi, ZoneKeep});
            }
        };
        if (mode == One) {
            const double edge = e * w;
            pieces.push_back({0.0, edge, ZoneClear});
            if (is_aa)
                keep(edge + 1.0, n >= 3 && k < n - 1 && _band_progress(k + 1) > 0.0 ? w - 1.0 : w);
            else
                keep(edge, w);
        } else {
            const double t = e * 0.5 * w;
            pieces.push_back({0.0, t, ZoneClear});
            if (is_aa)
                keep(t + 1.0, w - t - 1.0);
            else
                keep(t, w - t);
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
