// Velmor::Blind: the blinds transition. The layer is cut into parallel bands across the
// Direction axis; as Completion runs from 0 to 1 the bands close one after another (staggered by
// Delay, in normal, inverse or seeded random order), each from its leading edge (One) or from
// both edges towards its centre line (Both).
//
// Blind::Parameter is the per-frame input record. Blind is the filter as the threaded executor
// sees it: built once from the record, then asked to run its region form on disjoint row bands of
// one output from several threads at once. Its private state, Blind::Impl, is defined in
// VelmorBlindImpl.h, which only the filter's own files and the tests include.
#ifndef VELMOR_BLIND_H
#define VELMOR_BLIND_H

#include "AE_Effect.h"
#include "Pimpl.h"
#include "VelmorBlindCodes.h"
#include "VelmorFilterMulti.h"
#include "VelmorLayer.h"

namespace Velmor {

class Blind : public IFilterWithRegion, public BlindCodes {
public:
    class Parameter;
    class Impl;

    // Prepares the bands (Blind::Impl). Whatever the preparation throws propagates, with nothing
    // left allocated.
    explicit Blind(Parameter const& parameter);
    ~Blind() override;
    // Deep copies: a copy owns an Impl of its own (sharing only the read-only band arrays).
    Blind(Blind const& other);
    Blind& operator=(Blind const& other);

    // The whole of `in` (its getSize()) into `out`.
    void execute(Layer& in, Layer& out) override;
    // Only the pixels of `region` (buffer coordinates, clipped to the input). Safe to call from
    // several threads at once for disjoint row bands of one output.
    void execute(Layer& in, Layer& out, Rect const& region) override;

    // Whether a render with these popup values can sample further from a pixel than a band
    // width: Tile wraps the positions of Move and Shrink around the layer, and Shrink in Both
    // squeezes hidden pixels without bound near a band's end. Such a render needs the whole
    // layer as its input, not only the requested rectangle grown by the band width.
    static bool samplesWholeLayer(int state, int mode, int border_type);

private:
    friend class BlindImplAccess;
    Impl* _get() const { return static_cast<Impl*>(_impl->GetPtr()); }

    ImplHolderBase* _impl;
};

// A plain value record. Setters store the value unchecked and return the record so calls chain.
class Blind::Parameter {
public:
    Parameter();

    Parameter& setInData(PF_InData* v) {
        _in_data = v;
        return *this;
    }
    Parameter& setLayerRect(PF_LRect const& v) {
        _layer_rect = v;
        return *this;
    }
    Parameter& setIsAA(bool v) {
        _is_aa = v;
        return *this;
    }
    Parameter& setMode(int v) {
        _mode = v;
        return *this;
    }
    Parameter& setCompletion(double v) {
        _completion = v;
        return *this;
    }
    Parameter& setDelay(double v) {
        _delay = v;
        return *this;
    }
    Parameter& setWidth(double v) {
        _width = v;
        return *this;
    }
    Parameter& setDirection(double v) {
        _direction = v;
        return *this;
    }
    Parameter& setOffset(double v) {
        _offset = v;
        return *this;
    }
    Parameter& setOrder(int v) {
        _order = v;
        return *this;
    }
    Parameter& setSeed(int v) {
        _seed = v;
        return *this;
    }
    Parameter& setEasingType(int v) {
        _easing_type = v;
        return *this;
    }
    Parameter& setEasingMode(int v) {
        _easing_mode = v;
        return *this;
    }
    Parameter& setState(int v) {
        _state = v;
        return *this;
    }
    Parameter& setBorderType(int v) {
        _border_type = v;
        return *this;
    }

    PF_InData* in_data() const { return _in_data; }
    PF_LRect layer_rect() const { return _layer_rect; }
    bool is_aa() const { return _is_aa; }
    int mode() const { return _mode; }
    double completion() const { return _completion; }
    double delay() const { return _delay; }
    double width() const { return _width; }
    double direction() const { return _direction; }
    double offset() const { return _offset; }
    int order() const { return _order; }
    int seed() const { return _seed; }
    int easing_type() const { return _easing_type; }
    int easing_mode() const { return _easing_mode; }
    int state() const { return _state; }
    int border_type() const { return _border_type; }

private:
    PF_InData* _in_data;   // not owned
    PF_LRect _layer_rect;  // the whole layer, right and bottom exclusive
    bool _is_aa;
    int _mode;
    double _completion;
    double _delay;
    double _width;      // pixels of the buffer being rendered
    double _direction;  // radians
    double _offset;     // phase of the grid, a fraction of the extent, 0 <= offset < 1
    int _order;
    int _seed;
    int _easing_type;
    int _easing_mode;
    int _state;
    int _border_type;
};

}  // namespace Velmor

#endif
