// A hand-made host for the geometry tests: a PF_InData whose ANSI table calls the C library (and
// counts the calls), and a basic suite that counts every request and hands out no suite at all.
// Also the test-side accessor that Blind::Impl befriends.
#pragma once

#include <cmath>
#include <cstddef>
#include <vector>

#include "SPBasic.h"
#include "VelmorBlindImpl.h"

namespace vtest {

struct Counters {
    int acquire = 0;
    int release = 0;
    int cos = 0;
    int sin = 0;
    int ceil = 0;
    int fmod = 0;
};

inline Counters& counters() {
    static Counters c;
    return c;
}

struct TestHost {
    PF_UtilCallbacks utils{};
    SPBasicSuite basic{};
    PF_InData in_data{};

    TestHost() {
        counters() = Counters();
        utils.ansi.cos = [](double v) {
            ++counters().cos;
            return std::cos(v);
        };
        utils.ansi.sin = [](double v) {
            ++counters().sin;
            return std::sin(v);
        };
        utils.ansi.ceil = [](double v) {
            ++counters().ceil;
            return std::ceil(v);
        };
        utils.ansi.fmod = [](double a, double b) {
            ++counters().fmod;
            return std::fmod(a, b);
        };
        utils.ansi.fabs = [](double v) { return std::fabs(v); };
        utils.ansi.floor = [](double v) { return std::floor(v); };
        basic.AcquireSuite = [](const char*, int32_t, const void** suite) -> SPErr {
            ++counters().acquire;
            *suite = nullptr;
            return kSPSuiteNotFoundError;
        };
        basic.ReleaseSuite = [](const char*, int32_t) -> SPErr {
            ++counters().release;
            return kSPNoError;
        };
        in_data.utils = &utils;
        in_data.pica_basicP = &basic;
    }
    TestHost(const TestHost&) = delete;
    TestHost& operator=(const TestHost&) = delete;
};

inline PF_LRect rect(int left, int top, int right, int bottom) {
    PF_LRect r;
    r.left = left;
    r.top = top;
    r.right = right;
    r.bottom = bottom;
    return r;
}

// The classification outputs, with the values the pixel passes set before each call.
struct Info {
    double coverage = 1.0;
    double squeeze = 0.0;
    double seam = 0.0;
    int slot = -1;
    bool closing = false;
    bool first_half = false;
    bool at_seam = false;
};

}  // namespace vtest

namespace Velmor {

class BlindImplAccess {
public:
    using Impl = Blind::Impl;
    using BandState = Blind::Impl::BandState;

    static int num_bands(const Impl& i) { return i.num_bands; }
    static double num_bands_real(const Impl& i) { return i.num_bands_real; }
    static double band_duration(const Impl& i) { return i.band_duration; }
    static double band_step(const Impl& i) { return i.band_step; }
    static double proj_min(const Impl& i) { return i.proj_min; }
    static double proj_max(const Impl& i) { return i.proj_max; }
    static double extent(const Impl& i) { return i.extent; }
    static double offset_px(const Impl& i) { return i.offset_px; }
    static Vector<double> dir(const Impl& i) { return i.dir; }
    static const BandState& band(const Impl& i, int slot) { return i.band_states[slot]; }
    static int order(const Impl& i, int k) { return i.band_order[k]; }
    static const int* order_data(const Impl& i) { return i.band_order.get(); }
    static const BandState* states_data(const Impl& i) { return i.band_states.get(); }
    static int states_use_count(const Impl& i) { return i.band_states.use_count(); }
    static int order_use_count(const Impl& i) { return i.band_order.use_count(); }
    static double step(double v) { return Impl::_step(v); }

    // The pass with every pixel classified on its own, and the zones the span pass walks.
    static void execute_per_pixel(const Impl& i, Layer& in, Layer& out, Rect const& region) {
        i._execute_per_pixel(in, out, region);
    }
    static std::size_t zone_count(const Impl& i, double u_bound) {
        std::vector<Impl::Zone> zones;
        return i._zones(zones, u_bound) ? zones.size() : 0;
    }

    static vtest::Info classify(const Impl& i, int x, int y, bool aa) {
        vtest::Info r;
        if (aa)
            i._get_pixel_info_aa(x, y, r.coverage, r.squeeze, r.seam, r.slot, r.closing, r.first_half,
                                 r.at_seam);
        else
            i._get_pixel_info(x, y, r.coverage, r.squeeze, r.seam, r.slot, r.closing, r.first_half,
                              r.at_seam);
        return r;
    }
};

}  // namespace Velmor

namespace vtest {

using Access = Velmor::BlindImplAccess;
using Velmor::Blind;

// A record on the test host with the given layer; everything else at the record's defaults
// except a band axis along x (direction 0) and hard edges.
inline Blind::Parameter params(TestHost& host, PF_LRect layer) {
    Blind::Parameter p;
    p.setInData(&host.in_data).setLayerRect(layer).setDirection(0.0).setIsAA(false);
    return p;
}

inline Info classify(const Blind::Impl& impl, int x, int y, bool aa) {
    return Access::classify(impl, x, y, aa);
}

}  // namespace vtest
