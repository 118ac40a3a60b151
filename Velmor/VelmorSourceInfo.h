// SourceInfo: what a smart render needs to know about its images. Construction checks out the
// input layer's pixels (checkout id 0) and the output world, and finds the depth code from the
// input's pixel format; the queries answer sizes, origins, downsampling and the host's thread
// count. Copies share one state. The checked-out worlds belong to the host, which takes them back
// at the end of the render.
//
// Host errors are kept, not thrown: the first failure of the construction (or a later failure of
// getThreadNum) is read with getError(). Until the depth is known getBPC() is -1, a code no pixel
// pass accepts, and an input in a pixel format outside the table is reported as
// PF_Err_BAD_CALLBACK_PARAM.
#ifndef VELMOR_SOURCE_INFO_H
#define VELMOR_SOURCE_INFO_H

#include <memory>

#include "AE_Effect.h"
#include "AEGP_SuiteHandler.h"
#include "VelmorGeneral.h"

namespace Velmor {

class SourceInfo {
public:
    SourceInfo(PF_InData* in_data, PF_OutData* out_data, PF_SmartRenderExtra* extra);

    int getError();
    int getBPC();
    int getWidth();
    int getHeight();
    double getDownSampleX();
    double getDownSampleY();
    // The host's number of worker threads, at least 1.
    int getThreadNum();
    PF_LayerDef* getInputWorld();
    PF_LayerDef* getOutputWorld();
    int getInputWidth();
    int getInputHeight();
    int getOutputWidth();
    int getOutputHeight();
    Vector<double> getInputOrigin();
    Vector<double> getOutputOrigin();

    // The depth code of a pixel format (0 8-bit, 1 16-bit, 2 float), or -1 for any other format.
    static int depthOfPixelFormat(PF_PixelFormat format);

    class Impl;

private:
    std::shared_ptr<Impl> _impl;
};

class SourceInfo::Impl {
public:
    Impl(PF_InData* in_data, PF_OutData* out_data, PF_SmartRenderExtra* extra);
    Impl(const Impl&) = delete;
    Impl& operator=(const Impl&) = delete;

    void _initialize();
    int getThreadNum();

    PF_Err err;
    PF_InData* in_data;
    PF_OutData* out_data;
    PF_SmartRenderExtra* extra;
    int bpc;
    PF_LayerDef* input;
    PF_LayerDef* output;
    AEGP_SuiteHandler suites;
};

}  // namespace Velmor

#endif
