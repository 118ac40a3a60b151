// Easing curves: maps a progress t in 0..1 to an eased progress, by one of eleven curves in one of
// three modes. Type codes: 1 Linear, 2 Quad, 3 Cubic, 4 Quart, 5 Quint, 6 Expo, 7 Circ, 8 Sine,
// 9 Bounce, 10 Back, 11 Elastic (any other code behaves as Linear). Mode codes: 1 In, 2 Out,
// 3 InOut (any other mode gives 0 inside 0 < t < 1 for types 2..11).
#ifndef VELMOR_EASING_H
#define VELMOR_EASING_H

#include "Pimpl.h"

namespace Velmor {

class Easing {
public:
    enum Type { Linear = 1, Quad, Cubic, Quart, Quint, Expo, Circ, Sine, Bounce, Back, Elastic };
    enum Mode { In = 1, Out = 2, InOut = 3 };

    // The state: two plain codes, no validation.
    class Impl {
    public:
        int easing_type;
        int easing_mode;

        Impl() : easing_type(Linear), easing_mode(InOut) {}
        Impl(int type, int mode) : easing_type(type), easing_mode(mode) {}

        void setEasingType(int type) { easing_type = type; }
        void setEasingMode(int mode) { easing_mode = mode; }

        // 0 for t <= 0, 1 for t >= 1 (every type and mode), else the curve's value.
        double getTime(double t) const;

    private:
        double _quad(double t) const;
        double _cubic(double t) const;
        double _quart(double t) const;
        double _quint(double t) const;
        double _expo(double t) const;
        double _circ(double t) const;
        double _sine(double t) const;
        double _bounce(double t) const;
        double _back(double t) const;
        double _elastic(double t) const;
        static double _ease_out_bounce(double x);
    };

    Easing();
    Easing(int type, int mode);
    // Copies get an independent state; assignment overwrites this object's state.
    Easing(const Easing& other);
    Easing& operator=(const Easing& other);
    ~Easing();

    void setEasingType(int type);
    void setEasingMode(int mode);
    double getTime(double t) const;

private:
    Impl* _impl() { return static_cast<Impl*>(_holder->GetPtr()); }
    const Impl* _impl() const { return static_cast<const Impl*>(_holder->GetPtr()); }

    ImplHolderBase* _holder;
};

}  // namespace Velmor

#endif
