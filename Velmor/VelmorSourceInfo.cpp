#include "VelmorSourceInfo.h"

#include "AEFX_SuiteHelper.h"

namespace Velmor {

int SourceInfo::depthOfPixelFormat(PF_PixelFormat format) {
    switch (format) {
        case PF_PixelFormat_ARGB128:
        case PF_PixelFormat_GPU_BGRA128: return 2;
        case PF_PixelFormat_ARGB64: return 1;
        case PF_PixelFormat_ARGB32:
        case PF_PixelFormat_BGRA32: return 0;
        default: return -1;
    }
}

SourceInfo::SourceInfo(PF_InData* in_data, PF_OutData* out_data, PF_SmartRenderExtra* extra)
    : _impl(std::make_shared<Impl>(in_data, out_data, extra)) {}

int SourceInfo::getError() { return _impl->err; }
int SourceInfo::getBPC() { return _impl->bpc; }
int SourceInfo::getWidth() { return _impl->in_data->width; }
int SourceInfo::getHeight() { return _impl->in_data->height; }

double SourceInfo::getDownSampleX() {
    const PF_RationalScale& s = _impl->in_data->downsample_x;
    return static_cast<double>(s.num) / static_cast<double>(s.den);
}

double SourceInfo::getDownSampleY() {
    const PF_RationalScale& s = _impl->in_data->downsample_y;
    return static_cast<double>(s.num) / static_cast<double>(s.den);
}

int SourceInfo::getThreadNum() { return _impl->getThreadNum(); }
PF_LayerDef* SourceInfo::getInputWorld() { return _impl->input; }
PF_LayerDef* SourceInfo::getOutputWorld() { return _impl->output; }
int SourceInfo::getInputWidth() { return _impl->input ? _impl->input->width : 0; }
int SourceInfo::getInputHeight() { return _impl->input ? _impl->input->height : 0; }
int SourceInfo::getOutputWidth() { return _impl->output ? _impl->output->width : 0; }
int SourceInfo::getOutputHeight() { return _impl->output ? _impl->output->height : 0; }

Vector<double> SourceInfo::getInputOrigin() {
    const PF_LayerDef* w = _impl->input;
    return w ? Vector<double>(static_cast<double>(w->origin_x), static_cast<double>(w->origin_y))
             : Vector<double>();
}

Vector<double> SourceInfo::getOutputOrigin() {
    const PF_LayerDef* w = _impl->output;
    return w ? Vector<double>(static_cast<double>(w->origin_x), static_cast<double>(w->origin_y))
             : Vector<double>();
}

SourceInfo::Impl::Impl(PF_InData* in_data_, PF_OutData* out_data_, PF_SmartRenderExtra* extra_)
    : err(PF_Err_NONE),
      in_data(in_data_),
      out_data(out_data_),
      extra(extra_),
      bpc(-1),
      input(nullptr),
      output(nullptr),
      suites(in_data_->pica_basicP) {
    _initialize();
}

void SourceInfo::Impl::_initialize() {
    if (!err) err = extra->cb->checkout_layer_pixels(in_data->effect_ref, 0, &input);
    if (!err) err = extra->cb->checkout_output(in_data->effect_ref, &output);

    PF_PixelFormat format = PF_PixelFormat_INVALID;
    void* world2 = nullptr;
    if (!err) {
        err = AEFX_AcquireSuite(in_data, out_data, kPFWorldSuite, kPFWorldSuiteVersion2,
                                "Couldn't load suite.", &world2);
        if (!err) err = static_cast<const PF_WorldSuite2*>(world2)->PF_GetPixelFormat(input, &format);
        const int depth = depthOfPixelFormat(format);
        if (depth >= 0)
            bpc = depth;
        else if (!err)
            err = PF_Err_BAD_CALLBACK_PARAM;  // a layout no pixel pass knows: draw nothing
    }
    if (world2)
        AEFX_ReleaseSuite(in_data, out_data, kPFWorldSuite, kPFWorldSuiteVersion2, "Couldn't release suite.");
}

int SourceInfo::Impl::getThreadNum() {
    A_long count = 1;
    if (!err) err = suites.IterateSuite1()->AEGP_GetNumThreads(&count);
    if (err || count < 1) return 1;
    return count;
}

}  // namespace Velmor
