// The smart-render path: PF_Cmd_SMART_PRE_RENDER reads the controls at the current time, converts
// them into render units and hands them to the render in a host handle, asking for the input
// grown by the band width on every side; PF_Cmd_SMART_RENDER copies the input (Completion 0),
// clears the output (Completion 100 %) or runs the Blind filter over the whole output on the
// host's threads.
#pragma once

#include "AE_Effect.h"

// The record carried by the host from the pre-render to the render, in a handle of exactly its
// size. Popup values stay 1-based as the host gives them.
struct PreRenderParams {
    A_long mode;          // Mode popup
    double completion;    // 0..1
    double delay;         // 0..1
    double width;         // pixels of the downsampled image, at least 1
    double direction;     // radians, 0 up to 2 pi
    double offset;        // fraction of a turn, 0 up to 1
    A_long order;         // Order popup
    A_long seed;          // 0..10000
    A_long easing_type;   // Easing popup
    A_long easing_mode;   // Easing Mode popup
    A_long state;         // State popup
    A_long border_type;   // Outside popup
    PF_LRect layer_rect;  // the input layer's maximum result rectangle
};

PF_Err SmartPreRender(PF_InData* in_data, PF_OutData* out_data, PF_PreRenderExtra* extra);
PF_Err SmartRender(PF_InData* in_data, PF_OutData* out_data, PF_SmartRenderExtra* extra);
