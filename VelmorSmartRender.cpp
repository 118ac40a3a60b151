#include "VelmorSmartRender.h"

#include "AEGP_SuiteHandler.h"
#include "Smart_Utils.h"
#include "VelmorBlind.h"
#include "VelmorControls.h"
#include "VelmorFilterMulti.h"
#include "VelmorGeneral.h"
#include "VelmorLayer.h"
#include "VelmorParams.h"
#include "VelmorSourceInfo.h"

#include <climits>
#include <cstdint>
#include <cstring>

namespace {

constexpr double kDegreesToRadians = 0.017453292519943295;  // pi / 180

// The parameters a pre-render checks out, checked back in on every way out: the host counts a
// checkout as held until it comes back, even for values that carry no pixels.
class ParamCheckouts {
public:
    explicit ParamCheckouts(PF_InData* in_data) : in_data_(in_data) { std::memset(defs_, 0, sizeof defs_); }
    ~ParamCheckouts() {
        for (int i = PARAM_COUNT - 1; i > 0; --i) {
            if (held_[i]) in_data_->inter.checkin_param(in_data_->effect_ref, &defs_[i]);  // result ignored
        }
    }
    ParamCheckouts(const ParamCheckouts&) = delete;
    ParamCheckouts& operator=(const ParamCheckouts&) = delete;

    PF_Err checkout(int index) {
        const PF_Err err =
            in_data_->inter.checkout_param(in_data_->effect_ref, index, in_data_->current_time,
                                           in_data_->time_step, in_data_->time_scale, &defs_[index]);
        held_[index] = err == PF_Err_NONE;
        return err;
    }
    const PF_ParamDefUnion& operator[](int index) const { return defs_[index].u; }

private:
    PF_InData* in_data_;
    PF_ParamDef defs_[PARAM_COUNT];
    bool held_[PARAM_COUNT] = {};
};

// An angle's 16.16 degrees reduced to one turn, 0 up to 360.
double turnDegrees(const PF_ANSICallbacks& ansi, PF_Fixed value) {
    double d = ansi.fmod(Velmor::fromFixed(value), 360.0);
    if (d < 0.0) d += 360.0;
    return d;
}

// v - m and v + m, kept within the 32-bit range.
A_long grownBy(A_long v, std::int64_t m) {
    const std::int64_t r = static_cast<std::int64_t>(v) + m;
    return static_cast<A_long>(r < INT32_MIN ? INT32_MIN : (r > INT32_MAX ? INT32_MAX : r));
}

// A new handle holding the record, locked, or null. Once it exists, the host holds it as the
// frame's pre-render data and disposes of it after the frame; it stays locked.
PreRenderParams* newRecord(const PF_HandleSuite2* handles, PF_PreRenderOutput* output) {
    PF_Handle handle = handles->host_new_handle(sizeof(PreRenderParams));
    if (!handle) return nullptr;
    auto* record = static_cast<PreRenderParams*>(handles->host_lock_handle(handle));
    if (!record) {
        // Nobody else knows this handle yet: keeping it would leak it.
        handles->host_dispose_handle(handle);
        return nullptr;
    }
    output->pre_render_data = handle;
    return record;
}

// One control's value at this frame, in the render's unit, into its field of the record.
void storeControl(const PF_InData* in_data, const ControlInfo& c, const PF_ParamDefUnion& u,
                  PreRenderParams& record) {
    const PF_ANSICallbacks& ansi = in_data->utils->ansi;
    switch (c.unit) {
        case RenderUnit::Code: record.*c.code = c.type == PF_Param_POPUP ? u.pd.value : u.sd.value; break;
        case RenderUnit::Fraction: record.*c.real = Velmor::fromFixed(u.fd.value) * 0.01; break;
        case RenderUnit::Pixels: {
            // Given in full-resolution pixels; the render works on the downsampled image.
            const PF_RationalScale& ds = in_data->downsample_x;
            const double pixels = u.fs_d.value * (static_cast<double>(ds.num) / static_cast<double>(ds.den));
            record.*c.real = pixels >= 1.0 ? pixels : 1.0;
            break;
        }
        case RenderUnit::Radians: record.*c.real = turnDegrees(ansi, u.ad.value) * kDegreesToRadians; break;
        case RenderUnit::Turn: record.*c.real = turnDegrees(ansi, u.ad.value) / 360.0; break;
    }
}

// Every control at the current time, converted into the cleared record. The first failed
// checkout ends it with that error.
PF_Err readControls(PF_InData* in_data, PreRenderParams& record) {
    ParamCheckouts params(in_data);
    for (int i = PARAM_MODE; i < PARAM_COUNT; ++i) {
        if (PF_Err err = params.checkout(i)) return err;
    }
    std::memset(&record, 0, sizeof record);
    for (const ControlInfo& c : kControls) storeControl(in_data, c, params[c.index], record);
    return PF_Err_NONE;
}

// The bands move and squeeze the image by up to a band width: the request grown by that much
// on every side.
PF_RenderRequest grownRequest(const PF_ANSICallbacks& ansi, PF_RenderRequest request, double width) {
    request.preserve_rgb_of_zero_alpha = true;
    const double margin_d = ansi.ceil(width) + 0.5;
    const std::int64_t margin =
        margin_d < static_cast<double>(INT32_MAX) ? static_cast<std::int64_t>(margin_d) : INT32_MAX;
    request.rect.left = grownBy(request.rect.left, -margin);
    request.rect.top = grownBy(request.rect.top, -margin);
    request.rect.right = grownBy(request.rect.right, margin);
    request.rect.bottom = grownBy(request.rect.bottom, margin);
    return request;
}

bool sameRect(const PF_LRect& a, const PF_LRect& b) {
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

// Checks out the input for `request`, keeps its maximum rectangle in the record, and on success
// lets the output's rectangles cover the input's. Settings whose samples can land beyond the
// grown request check the input out again, for the whole layer: a region of the frame then
// renders exactly its cut of the whole frame. (The whole frame asks once, as before.)
PF_Err checkoutInput(PF_InData* in_data, PF_PreRenderExtra* extra, PF_RenderRequest request,
                     PreRenderParams& record) {
    PF_CheckoutResult checkout;
    std::memset(&checkout, 0, sizeof checkout);
    auto checkoutFor = [&] {
        return extra->cb->checkout_layer(in_data->effect_ref, PARAM_INPUT, 0, &request, in_data->current_time,
                                         in_data->time_step, in_data->time_scale, &checkout);
    };
    PF_Err err = checkoutFor();
    const PF_LRect& got = checkout.result_rect;
    const bool some = got.left < got.right && got.top < got.bottom;  // a request off the layer needs none
    if (!err && some && !sameRect(got, checkout.max_result_rect) &&
        Velmor::Blind::samplesWholeLayer(record.state, record.mode, record.border_type)) {
        request.rect = checkout.max_result_rect;
        std::memset(&checkout, 0, sizeof checkout);
        err = checkoutFor();
    }
    record.layer_rect = checkout.max_result_rect;
    if (!err) {
        UnionLRect(&checkout.result_rect, &extra->output->result_rect);
        UnionLRect(&checkout.max_result_rect, &extra->output->max_result_rect);
    }
    return err;
}

}  // namespace

PF_Err SmartPreRender(PF_InData* in_data, PF_OutData* /*out_data*/, PF_PreRenderExtra* extra) {
    if (!in_data || !in_data->utils || !extra || !extra->input || !extra->output || !extra->cb ||
        !extra->cb->checkout_layer)
        return PF_Err_BAD_CALLBACK_PARAM;

    const PF_RenderRequest request = extra->input->output_request;

    AEGP_SuiteHandler suites(in_data->pica_basicP);
    PreRenderParams* record = newRecord(suites.HandleSuite2(), extra->output);
    if (!record) return PF_Err_OUT_OF_MEMORY;
    if (PF_Err err = readControls(in_data, *record)) return err;

    extra->output->flags |= PF_RenderOutputFlag_RETURNS_EXTRA_PIXELS;
    return checkoutInput(in_data, extra, grownRequest(in_data->utils->ansi, request, record->width), *record);
}

PF_Err SmartRender(PF_InData* in_data, PF_OutData* out_data, PF_SmartRenderExtra* extra) {
    if (!in_data || !in_data->utils || !extra || !extra->input || !extra->cb)
        return PF_Err_BAD_CALLBACK_PARAM;

    AEGP_SuiteHandler suites(in_data->pica_basicP);
    auto handle = static_cast<PF_Handle>(extra->input->pre_render_data);
    const auto* stored =
        handle ? static_cast<const PreRenderParams*>(suites.HandleSuite2()->host_lock_handle(handle))
               : nullptr;
    if (!stored) return PF_Err_BAD_CALLBACK_PARAM;
    const PreRenderParams record = *stored;

    Velmor::SourceInfo info(in_data, out_data, extra);
    if (PF_Err err = info.getError()) return err;
    if (!info.getInputWorld() || !info.getOutputWorld()) return PF_Err_BAD_CALLBACK_PARAM;

    Velmor::Layer src(in_data, out_data, info.getInputWorld(), info.getBPC());
    if (PF_Err err = src.getError()) return err;
    Velmor::Layer dst(in_data, out_data, info.getOutputWorld(), info.getBPC());
    if (PF_Err err = dst.getError()) return err;

    // The two ends of the transition are one host call each.
    if (record.completion < 1e-6)
        return in_data->utils->copy(in_data->effect_ref, src.getWorld(), dst.getWorld(), nullptr, nullptr);
    if (record.completion > 0.999999) {
        const PF_Pixel transparent = {0, 0, 0, 0};
        return in_data->utils->fill(in_data->effect_ref, &transparent, nullptr, dst.getWorld());
    }

    // Draft quality renders hard edges with nearest-neighbour samples; Best and Wireframe smooth.
    AEGP_LayerH layer = nullptr;
    AEGP_LayerQuality quality = AEGP_LayerQual_BEST;
    PF_Err err = suites.PFInterfaceSuite1()->AEGP_GetEffectLayer(in_data->effect_ref, &layer);
    if (!err) err = suites.LayerSuite11()->AEGP_GetLayerQuality(layer, &quality);
    const bool is_aa = quality != AEGP_LayerQual_DRAFT;

    Velmor::Blind::Parameter parameter;
    parameter.setInData(in_data)
        .setLayerRect(record.layer_rect)
        .setIsAA(is_aa)
        .setMode(record.mode)
        .setCompletion(record.completion)
        .setDelay(record.delay)
        .setWidth(record.width)
        .setDirection(record.direction)
        .setOffset(record.offset)
        .setOrder(record.order)
        .setSeed(record.seed)
        .setEasingType(record.easing_type)
        .setEasingMode(record.easing_mode)
        .setState(record.state)
        .setBorderType(record.border_type);
    if (err) return err;
    return Velmor::FilterMulti<Velmor::Blind>(in_data, src, dst, dst.getSize(), parameter);
}
