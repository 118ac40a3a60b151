// Layer: the framework's handle on one host image (a PF_LayerDef world) at one depth.
//
// A Layer wraps a world the host already handed over, checks a layer parameter out at a time, or
// asks the host for a new world. Copies of a Layer share one state (its world, cached pixel base
// and row width, and its error); what the state owns is given back when the last copy goes.
//
// Depth codes: 0 = 8 bits (PF_Pixel), 1 = 16 bits (PF_Pixel16), 2 = float (PF_PixelFloat).
// The code given at construction is trusted; the world is never inspected for its depth.
//
// Host errors are not thrown: the last recorded host call's code is kept and read with
// getError(), and while it is non-zero no further world creation, checkout, fill or copy is made.
#ifndef VELMOR_LAYER_H
#define VELMOR_LAYER_H

#include <memory>

#include "AE_Effect.h"
#include "VelmorGeneral.h"

namespace Velmor {

class Layer {
public:
    // Wraps `world`; the host keeps owning it. No host call.
    Layer(PF_InData* in_data, PF_OutData* out_data, PF_LayerDef* world, int bpc);
    // Checks out layer parameter `index` at `time`; checked in again when the last copy goes.
    Layer(PF_InData* in_data, PF_OutData* out_data, int index, A_Time const& time, int bpc);
    // A new cleared world of width x height, disposed of when the last copy goes.
    Layer(PF_InData* in_data, PF_OutData* out_data, int width, int height, int bpc);

    int getError() const;
    PF_LayerDef* getWorld();
    int getBPC() const;
    // (0, 0, width, height) of the world; empty when the layer has no world.
    Rect getSize() const;
    int getWidth() const;
    int getHeight() const;
    // The very same pixels (equal data addresses), whatever the sizes.
    bool equalTo(Layer& other);
    bool equalInSize(Layer& other);
    // Pixel (x, y) on the 0..1 scale; the caller keeps the position inside the world.
    ColorFloat<float> getPixel(int x, int y);

    void fill(ColorFloat<float> const& color);
    void fill(ColorFloat<float> const& color, Rect const& area);
    // The result of the host's copy is recorded on this (the source) layer.
    void copyTo(Layer& dst);
    void copyTo(Layer& dst, Rect& srcArea, Rect& dstArea);
    // A new created layer of the same size and depth holding a copy of the pixels.
    Layer clone();

    class Impl;

private:
    explicit Layer(std::shared_ptr<Impl> impl);
    std::shared_ptr<Impl> _impl;
};

class Layer::Impl {
public:
    Impl(PF_InData* in_data, PF_OutData* out_data, PF_LayerDef* world, int bpc);
    Impl(PF_InData* in_data, PF_OutData* out_data, int index, A_Time const& time, int bpc);
    Impl(PF_InData* in_data, PF_OutData* out_data, int width, int height, int bpc);
    ~Impl();
    Impl(const Impl&) = delete;
    Impl& operator=(const Impl&) = delete;

    enum Kind { kWrapped = 0, kCheckedOut = 1, kCreated = 2 };

    int getError() const { return err; }
    PF_LayerDef* getWorld() { return world; }
    int getBPC() const { return bpc; }
    Rect getSize() const;
    int getWidth() const;
    int getHeight() const;
    bool equalTo(Impl& other);
    bool equalInSize(Impl& other);
    ColorFloat<float> getPixel(int x, int y);

    void fill(ColorFloat<float> const& color);
    void fill(ColorFloat<float> const& color, Rect const& area);
    void copyTo(Impl& dst);
    void copyTo(Impl& dst, Rect& srcArea, Rect& dstArea);
    // Makes the copy; the Layer wraps the returned state.
    std::shared_ptr<Impl> clone();

    void _calcWidth();
    void _checkoutWorld(int index, A_Time const& time);
    void _checkinWorld();
    void _createWorld(int width, int height);
    void _disposeWorld();
    PF_Pixel* _pixel8(int x, int y) { return pixels8 + (y * row_width + x); }
    PF_Pixel16* _pixel16(int x, int y) { return pixels16 + (y * row_width + x); }
    PF_PixelFloat* _pixel32(int x, int y) { return pixels32 + (y * row_width + x); }
    // Clamps the edges in place to `bounds`; the result may be empty or inverted.
    void _restrictRegion(int& left, int& top, int& right, int& bottom, Rect const& bounds);

    PF_InData* in_data = nullptr;
    PF_OutData* out_data = nullptr;
    PF_Err err = PF_Err_NONE;
    A_long kind = kWrapped;
    int bpc = 0;
    PF_LayerDef* world = nullptr;
    PF_ParamDef param{};
    PF_Pixel* pixels8 = nullptr;
    PF_Pixel16* pixels16 = nullptr;
    PF_PixelFloat* pixels32 = nullptr;
    A_long width = 0;
    A_long height = 0;
    A_long row_width = 0;

private:
    void _fill(ColorFloat<float> const& color, const PF_LRect* area);
    // A successful parameter checkout, with or without pixels, is owed a check-in.
    bool checkedOut = false;
    // The record of a created world (kind 2), freed after the world is disposed of.
    std::unique_ptr<PF_LayerDef> owned;
};

}  // namespace Velmor

#endif
