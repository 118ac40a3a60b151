#include "ParamCodec.h"

#include "FixedPoint.h"

#include <cmath>
#include <limits>

namespace vhost {

namespace {

// Rounded half away from zero and held to the 32-bit range.
A_long toLong(double v) {
    const double r = std::round(v);
    if (r >= 2147483647.0) return std::numeric_limits<A_long>::max();
    if (r <= -2147483648.0) return std::numeric_limits<A_long>::min();
    return static_cast<A_long>(r);
}

ParamRange fixedRange(PF_Fixed lo, PF_Fixed hi) { return {fromFixed(lo), fromFixed(hi)}; }
ParamRange noSlider(const PF_ParamDef&) { return {}; }
int noDecimals(const PF_ParamDef&) { return 0; }

const ParamCodec kSlider{
    "slider",
    true,
    [](const PF_ParamDef& d) {
        return ParamRange{double(d.u.sd.valid_min), double(d.u.sd.valid_max)};
    },
    [](const PF_ParamDef& d) {
        return ParamRange{double(d.u.sd.slider_min), double(d.u.sd.slider_max)};
    },
    [](const PF_ParamDef& d) { return double(d.u.sd.dephault); },
    noDecimals,
    [](const PF_ParamDef& d) { return double(d.u.sd.value); },
    [](PF_ParamDef& d, double v) { d.u.sd.value = toLong(v); },
};

const ParamCodec kFixSlider{
    "fixed slider",
    false,
    [](const PF_ParamDef& d) { return fixedRange(d.u.fd.valid_min, d.u.fd.valid_max); },
    [](const PF_ParamDef& d) { return fixedRange(d.u.fd.slider_min, d.u.fd.slider_max); },
    [](const PF_ParamDef& d) { return fromFixed(d.u.fd.dephault); },
    [](const PF_ParamDef& d) { return int(d.u.fd.precision); },
    [](const PF_ParamDef& d) { return fromFixed(d.u.fd.value); },
    [](PF_ParamDef& d, double v) { d.u.fd.value = toFixed(v); },
};

const ParamCodec kAngle{
    "angle",
    false,
    [](const PF_ParamDef& d) {
        return angleHasRange(d.u.ad) ? fixedRange(d.u.ad.valid_min, d.u.ad.valid_max)
                                     : ParamRange{kAngleMin, kAngleMax};
    },
    noSlider,
    [](const PF_ParamDef& d) { return fromFixed(d.u.ad.dephault); },
    [](const PF_ParamDef&) { return 1; },  // tenths of a degree
    [](const PF_ParamDef& d) { return fromFixed(d.u.ad.value); },
    [](PF_ParamDef& d, double v) { d.u.ad.value = toFixed(v); },
};

const ParamCodec kPopup{
    "popup",
    true,
    [](const PF_ParamDef& d) {
        return ParamRange{1.0, double(d.u.pd.num_choices)};
    },
    [](const PF_ParamDef& d) {
        return ParamRange{1.0, double(d.u.pd.num_choices)};
    },
    [](const PF_ParamDef& d) { return double(d.u.pd.dephault); },
    noDecimals,
    [](const PF_ParamDef& d) { return double(d.u.pd.value); },
    [](PF_ParamDef& d, double v) { d.u.pd.value = toLong(v); },
};

const ParamCodec kFloatSlider{
    "float slider",
    false,
    [](const PF_ParamDef& d) {
        return ParamRange{double(d.u.fs_d.valid_min), double(d.u.fs_d.valid_max)};
    },
    [](const PF_ParamDef& d) {
        return ParamRange{double(d.u.fs_d.slider_min), double(d.u.fs_d.slider_max)};
    },
    [](const PF_ParamDef& d) { return double(d.u.fs_d.dephault); },
    [](const PF_ParamDef& d) { return int(d.u.fs_d.precision); },
    [](const PF_ParamDef& d) { return d.u.fs_d.value; },
    [](PF_ParamDef& d, double v) { d.u.fs_d.value = v; },
};

}  // namespace

const ParamCodec* paramCodec(PF_ParamType type) {
    switch (type) {
        case PF_Param_SLIDER: return &kSlider;
        case PF_Param_FIX_SLIDER: return &kFixSlider;
        case PF_Param_ANGLE: return &kAngle;
        case PF_Param_POPUP: return &kPopup;
        case PF_Param_FLOAT_SLIDER: return &kFloatSlider;
        default: return nullptr;
    }
}

std::vector<std::string> popupChoices(const PF_ParamDef& def) {
    std::vector<std::string> out;
    if (def.param_type != PF_Param_POPUP || !def.u.pd.u.namesptr) return out;
    const std::string all = def.u.pd.u.namesptr;
    std::size_t start = 0;
    for (;;) {
        const std::size_t bar = all.find('|', start);
        out.push_back(all.substr(start, bar == std::string::npos ? std::string::npos : bar - start));
        if (bar == std::string::npos) break;
        start = bar + 1;
    }
    return out;
}

}  // namespace vhost
