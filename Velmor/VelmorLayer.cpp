#include "VelmorLayer.h"

#include "AEFX_SuiteHelper.h"
#include "AEGP_SuiteHandler.h"

namespace Velmor {

namespace {

const char kLoadSuiteText[] = "Couldn't load suite.";
const char kReleaseSuiteText[] = "Couldn't release suite.";

}  // namespace

// ---- Layer: forwards to its shared state ------------------------------------------------------

Layer::Layer(PF_InData* in_data, PF_OutData* out_data, PF_LayerDef* world, int bpc)
    : _impl(std::make_shared<Impl>(in_data, out_data, world, bpc)) {}

Layer::Layer(PF_InData* in_data, PF_OutData* out_data, int index, A_Time const& time, int bpc)
    : _impl(std::make_shared<Impl>(in_data, out_data, index, time, bpc)) {}

Layer::Layer(PF_InData* in_data, PF_OutData* out_data, int width, int height, int bpc)
    : _impl(std::make_shared<Impl>(in_data, out_data, width, height, bpc)) {}

Layer::Layer(std::shared_ptr<Impl> impl) : _impl(std::move(impl)) {}

int Layer::getError() const { return _impl->getError(); }
PF_LayerDef* Layer::getWorld() { return _impl->getWorld(); }
int Layer::getBPC() const { return _impl->getBPC(); }
Rect Layer::getSize() const { return _impl->getSize(); }
int Layer::getWidth() const { return _impl->getWidth(); }
int Layer::getHeight() const { return _impl->getHeight(); }
bool Layer::equalTo(Layer& other) { return _impl->equalTo(*other._impl); }
bool Layer::equalInSize(Layer& other) { return _impl->equalInSize(*other._impl); }
ColorFloat<float> Layer::getPixel(int x, int y) { return _impl->getPixel(x, y); }
void Layer::fill(ColorFloat<float> const& color) { _impl->fill(color); }
void Layer::fill(ColorFloat<float> const& color, Rect const& area) { _impl->fill(color, area); }
void Layer::copyTo(Layer& dst) { _impl->copyTo(*dst._impl); }
void Layer::copyTo(Layer& dst, Rect& srcArea, Rect& dstArea) { _impl->copyTo(*dst._impl, srcArea, dstArea); }
Layer Layer::clone() { return Layer(_impl->clone()); }

// ---- Layer::Impl ------------------------------------------------------------------------------

Layer::Impl::Impl(PF_InData* in_data_, PF_OutData* out_data_, PF_LayerDef* world_, int bpc_)
    : in_data(in_data_), out_data(out_data_), kind(kWrapped), bpc(bpc_), world(world_) {
    if (world) _calcWidth();
}

Layer::Impl::Impl(PF_InData* in_data_, PF_OutData* out_data_, int index, A_Time const& time, int bpc_)
    : in_data(in_data_), out_data(out_data_), kind(kCheckedOut), bpc(bpc_) {
    _checkoutWorld(index, time);
    if (world) _calcWidth();
}

Layer::Impl::Impl(PF_InData* in_data_, PF_OutData* out_data_, int width_, int height_, int bpc_)
    : in_data(in_data_),
      out_data(out_data_),
      kind(kCreated),
      bpc(bpc_),
      owned(std::make_unique<PF_LayerDef>()) {
    owned->data = nullptr;
    world = owned.get();
    _createWorld(width_, height_);
    if (world->data) _calcWidth();
}

// Destruction gives back what the state owns. It must not throw: a missing suite while disposing
// of a created world leaves that world to the host.
Layer::Impl::~Impl() {
    if (kind == kCheckedOut) {
        _checkinWorld();
    } else if (kind == kCreated) {
        try {
            _disposeWorld();
        } catch (...) {}
    }
}

Rect Layer::Impl::getSize() const {
    if (!world) return Rect();
    return Rect(0, 0, world->width, world->height);
}

int Layer::Impl::getWidth() const { return world ? world->width : 0; }
int Layer::Impl::getHeight() const { return world ? world->height : 0; }

bool Layer::Impl::equalTo(Impl& other) {
    if (!world || !other.world) return false;
    return world->data == other.world->data;
}

bool Layer::Impl::equalInSize(Impl& other) {
    if (!world || !other.world) return false;
    return world->width == other.world->width && world->height == other.world->height;
}

ColorFloat<float> Layer::Impl::getPixel(int x, int y) {
    switch (bpc) {
        case 1: return ColorFloat<float>(*_pixel16(x, y));
        case 2: return ColorFloat<float>(*_pixel32(x, y));
        default: return ColorFloat<float>(*_pixel8(x, y));
    }
}

void Layer::Impl::_calcWidth() {
    pixels8 = static_cast<PF_Pixel*>(world->data);
    pixels16 = static_cast<PF_Pixel16*>(world->data);
    pixels32 = static_cast<PF_PixelFloat*>(world->data);
    width = world->width;
    height = world->height;
    switch (bpc) {
        case 0: row_width = world->rowbytes / static_cast<A_long>(sizeof(PF_Pixel)); break;
        case 1: row_width = world->rowbytes / static_cast<A_long>(sizeof(PF_Pixel16)); break;
        case 2: row_width = world->rowbytes / static_cast<A_long>(sizeof(PF_PixelFloat)); break;
        default: break;
    }
}

void Layer::Impl::_checkoutWorld(int index, A_Time const& time) {
    if (err) return;
    err = in_data->inter.checkout_param(in_data->effect_ref, index, time.value, in_data->time_step,
                                        time.scale, &param);
    if (err) return;
    checkedOut = true;
    if (param.u.ld.data) world = &param.u.ld;
}

// A checkout is returned whether or not the layer had pixels: the host counts the checkout
// itself, not the pixels.
void Layer::Impl::_checkinWorld() {
    if (!checkedOut) return;
    checkedOut = false;
    in_data->inter.checkin_param(in_data->effect_ref, &param);
}

void Layer::Impl::_createWorld(int width_, int height_) {
    AEGP_SuiteHandler suites(in_data->pica_basicP);
    void* world2 = nullptr;
    switch (bpc) {
        case 1:
            if (!err)
                err = suites.WorldSuite1()->new_world(
                    in_data->effect_ref, width_, height_,
                    PF_NewWorldFlag_CLEAR_PIXELS | PF_NewWorldFlag_DEEP_PIXELS, world);
            break;
        case 2: {
            const PF_Err acquired = AEFX_AcquireSuite(in_data, out_data, kPFWorldSuite, kPFWorldSuiteVersion2,
                                                      kLoadSuiteText, &world2);
            if (acquired) err = acquired;
            if (!err)
                err = static_cast<const PF_WorldSuite2*>(world2)->PF_NewWorld(
                    in_data->effect_ref, width_, height_, 1, PF_PixelFormat_ARGB128, world);
            break;
        }
        case 0:
            if (!err)
                err = suites.WorldSuite1()->new_world(in_data->effect_ref, width_, height_,
                                                      PF_NewWorldFlag_CLEAR_PIXELS, world);
            break;
        default: break;
    }
    if (world2) AEFX_ReleaseSuite(in_data, out_data, kPFWorldSuite, kPFWorldSuiteVersion2, kReleaseSuiteText);
}

void Layer::Impl::_disposeWorld() {
    if (!world || !world->data) return;
    switch (bpc) {
        case 2: {
            void* world2 = nullptr;
            if (AEFX_AcquireSuite(in_data, out_data, kPFWorldSuite, kPFWorldSuiteVersion2, kLoadSuiteText,
                                  &world2) == PF_Err_NONE) {
                static_cast<const PF_WorldSuite2*>(world2)->PF_DisposeWorld(in_data->effect_ref, world);
                AEFX_ReleaseSuite(in_data, out_data, kPFWorldSuite, kPFWorldSuiteVersion2, kReleaseSuiteText);
            }
            break;
        }
        case 0:
        case 1: {
            AEGP_SuiteHandler suites(in_data->pica_basicP);
            suites.WorldSuite1()->dispose_world(in_data->effect_ref, world);
            break;
        }
        default: break;
    }
}

void Layer::Impl::_fill(ColorFloat<float> const& color, const PF_LRect* area) {
    AEGP_SuiteHandler suites(in_data->pica_basicP);
    switch (bpc) {
        case 2: {
            const PF_PixelFloat pixel = aePixel32<float>(color);
            if (!err) err = suites.FillMatteSuite2()->fill_float(in_data->effect_ref, &pixel, area, world);
            break;
        }
        case 1: {
            const PF_Pixel16 pixel = aePixel16<float>(color);
            if (!err) err = suites.FillMatteSuite2()->fill16(in_data->effect_ref, &pixel, area, world);
            break;
        }
        case 0: {
            const PF_Pixel pixel = aePixel8<float>(color);
            if (!err) err = suites.FillMatteSuite2()->fill(in_data->effect_ref, &pixel, area, world);
            break;
        }
        default: break;
    }
}

void Layer::Impl::fill(ColorFloat<float> const& color) { _fill(color, nullptr); }

void Layer::Impl::fill(ColorFloat<float> const& color, Rect const& area) {
    const PF_LRect rect = aeRect(area);
    _fill(color, &rect);
}

void Layer::Impl::copyTo(Impl& dst) {
    if (!err) err = in_data->utils->copy(in_data->effect_ref, world, dst.world, nullptr, nullptr);
}

void Layer::Impl::copyTo(Impl& dst, Rect& srcArea, Rect& dstArea) {
    PF_LRect src = aeRect(srcArea);
    PF_LRect dstRect = aeRect(dstArea);
    if (!err) err = in_data->utils->copy(in_data->effect_ref, world, dst.world, &src, &dstRect);
}

std::shared_ptr<Layer::Impl> Layer::Impl::clone() {
    auto copy =
        std::make_shared<Impl>(in_data, out_data, static_cast<int>(width), static_cast<int>(height), bpc);
    if (!err) err = in_data->utils->copy(in_data->effect_ref, world, copy->world, nullptr, nullptr);
    return copy;
}

void Layer::Impl::_restrictRegion(int& left, int& top, int& right, int& bottom, Rect const& bounds) {
    if (left < bounds.left) left = bounds.left;
    if (top < bounds.top) top = bounds.top;
    if (right > bounds.right) right = bounds.right;
    if (bottom > bounds.bottom) bottom = bounds.bottom;
}

}  // namespace Velmor
