#include "VelmorSmartRender.h"

#include "AEGP_SuiteHandler.h"
#include "Smart_Utils.h"
#include "VelmorBlind.h"
#include "VelmorFilterMulti.h"
#include "VelmorLayer.h"
#include "VelmorPlugin.h"
#include "VelmorSourceInfo.h"

#include <climits>
#include <cstdint>
#include <cstring>

namespace {

constexpr double kDegreesToRadians = 0.017453292519943295; // pi / 180

// The parameters a pre-render checks out, checked back in on every way out: the host counts a
// checkout as held until it comes back, even for values that carry no pixels.
class ParamCheckouts {
public:
    explicit ParamCheckouts(PF_InData* in_data) : in_data_(in_data)
    {
        std::memset(defs_, 0, sizeof defs_);
    }
    ~ParamCheckouts()
    {
        for (int i = PARAM_COUNT - 1; i > 0; --i) {
            if (held_[i])
                in_data_->inter.checkin_param(in_data_->effect_ref, &defs_[i]); // result ignored
        }
    }
    ParamCheckouts(const ParamCheckouts&) = delete;
    ParamCheckouts& operator=(const ParamCheckouts&) = delete;

    PF_Err checkout(int index)
    {
        const PF_Err err = in_data_->inter.checkout_param(in_data_->effect_ref, index,
                                                          in_data_->current_time,
                                                          in_data_->time_step,
                                                          in_data_->time_scale, &defs_[index]);
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
double turnDegrees(const PF_ANSICallbacks& ansi, PF_Fixed value)
{
    double d = ansi.fmod(value / 65536.0, 360.0);
    if (d < 0.0)
        d += 360.0;
    return d;
}

// v - m and v + m, kept within the 32-bit range.
A_long grownBy(A_long v, std::int64_t m)
{
    const std::int64_t r = static_cast<std::int64_t>(v) + m;
    return static_cast<A_long>(r < INT32_MIN ? INT32_MIN : (r > INT32_MAX ? INT32_MAX : r));
}

} // namespace

PF_Err SmartPreRender(PF_InData* in_data, PF_OutData* /*out_data*/, PF_PreRenderExtra* extra)
{
    if (!in_data || !in_data->utils || !extra || !extra->input || !extra->output || !extra->cb ||
        !extra->cb->checkout_layer)
        return PF_Err_BAD_CALLBACK_PARAM;

    PF_RenderRequest request = extra->input->output_request;

    AEGP_SuiteHandler suites(in_data->pica_basicP);
    const PF_HandleSuite2* handles = suites.HandleSuite2();
    PF_Handle handle = handles->host_new_handle(sizeof(PreRenderParams));
    if (!handle)
        return PF_Err_OUT_OF_MEMORY;
    auto* record = static_cast<PreRenderParams*>(handles->host_lock_handle(handle));
    if (!record) {
        // Nobody else knows this handle yet: keeping it would leak it.
        handles->host_dispose_handle(handle);
        return PF_Err_OUT_OF_MEMORY;
    }
    // From here on the host holds the handle and disposes of it after the frame; it stays locked.
    extra->output->pre_render_data = handle;

    const PF_ANSICallbacks& ansi = in_data->utils->ansi;
    {
        ParamCheckouts params(in_data);
        for (int i = PARAM_MODE; i < PARAM_COUNT; ++i) {
            if (PF_Err err = params.checkout(i))
                return err;
        }

        std::memset(record, 0, sizeof *record);
        record->mode = params[PARAM_MODE].pd.value;
        record->order = params[PARAM_ORDER].pd.value;
        record->seed = params[PARAM_SEED].sd.value;
        record->easing_type = params[PARAM_EASING].pd.value;
        record->easing_mode = params[PARAM_EASING_MODE].pd.value;
        record->state = params[PARAM_STATE].pd.value;
        record->border_type = params[PARAM_OUTSIDE].pd.value;

        record->completion = params[PARAM_COMPLETION].fd.value / 65536.0 * 0.01;
        record->delay = params[PARAM_DELAY].fd.value / 65536.0 * 0.01;

        // Width is given in full-resolution pixels; the render works on the downsampled image.
        const PF_RationalScale& ds = in_data->downsample_x;
        double width = params[PARAM_WIDTH].fs_d.value *
                       (static_cast<double>(ds.num) / static_cast<double>(ds.den));
        if (!(width >= 1.0))
            width = 1.0;
        record->width = width;

        record->direction = turnDegrees(ansi, params[PARAM_DIRECTION].ad.value) * kDegreesToRadians;
        record->offset = turnDegrees(ansi, params[PARAM_OFFSET].ad.value) / 360.0;
    }

    // The bands move and squeeze the image by up to a band width: ask for that much more input.
    request.preserve_rgb_of_zero_alpha = true;
    const double margin_d = ansi.ceil(record->width) + 0.5;
    const std::int64_t margin =
        margin_d < static_cast<double>(INT32_MAX) ? static_cast<std::int64_t>(margin_d) : INT32_MAX;
    request.rect.left = grownBy(request.rect.left, -margin);
    request.rect.top = grownBy(request.rect.top, -margin);
    request.rect.right = grownBy(request.rect.right, margin);
    request.rect.bottom = grownBy(request.rect.bottom, margin);

    extra->output->flags |= PF_RenderOutputFlag_RETURNS_EXTRA_PIXELS;

    PF_CheckoutResult checkout;
    std::memset(&checkout, 0, sizeof checkout);
    const PF_Err err = extra->cb->checkout_layer(in_data->effect_ref, PARAM_INPUT, 0, &request,
                                                 in_data->current_time, in_data->time_step,
                                                 in_data->time_scale, &checkout);
    record->layer_rect = checkout.max_result_rect;
    if (!err) {
        UnionLRect(&checkout.result_rect, &extra->output->result_rect);
        UnionLRect(&checkout.max_result_rect, &extra->output->max_result_rect);
    }
    return err;
}

PF_Err SmartRender(PF_InData* in_data, PF_OutData* out_data, PF_SmartRenderExtra* extra)
{
    if (!in_data || !in_data->utils || !extra || !extra->input || !extra->cb)
        return PF_Err_BAD_CALLBACK_PARAM;

    AEGP_SuiteHandler suites(in_data->pica_basicP);
    auto handle = static_cast<PF_Handle>(extra->input->pre_render_data);
    const auto* stored =
        handle ? static_cast<const PreRenderParams*>(suites.HandleSuite2()->host_lock_handle(handle))
               : nullptr;
    if (!stored)
        return PF_Err_BAD_CALLBACK_PARAM;
    const PreRenderParams record = *stored;

    Velmor::SourceInfo info(in_data, out_data, extra);
    if (PF_Err err = info.getError())
        return err;
    if (!info.getInputWorld() || !info.getOutputWorld())
        return PF_Err_BAD_CALLBACK_PARAM;

    Velmor::Layer src(in_data, out_data, info.getInputWorld(), info.getBPC());
    if (PF_Err err = src.getError())
        return err;
    Velmor::Layer dst(in_data, out_data, info.getOutputWorld(), info.getBPC());
    if (PF_Err err = dst.getError())
        return err;

    // The two ends of the transition are one host call each.
    if (record.completion < 1e-6)
        return in_data->utils->copy(in_data->effect_ref, src.getWorld(), dst.getWorld(), nullptr,
                                    nullptr);
    if (record.completion > 0.999999) {
        const PF_Pixel transparent = {0, 0, 0, 0};
        return in_data->utils->fill(in_data->effect_ref, &transparent, nullptr, dst.getWorld());
    }

    // Draft quality renders hard edges with nearest-neighbour samples; Best and Wireframe smooth.
    AEGP_LayerH layer = nullptr;
    AEGP_LayerQuality quality = AEGP_LayerQual_BEST;
    PF_Err err = suites.PFInterfaceSuite1()->AEGP_GetEffectLayer(in_data->effect_ref, &layer);
    if (!err)
        err = suites.LayerSuite11()->AEGP_GetLayerQuality(layer, &quality);
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
    if (err)
        return err;
    return Velmor::FilterMulti<Velmor::Blind>(in_data, src, dst, dst.getSize(), parameter);
}
