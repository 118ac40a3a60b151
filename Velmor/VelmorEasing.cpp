// The easing curves (Penner's equations with their usual constants). Each formula keeps its
// operation order: the eased times decide which pixels of a band are hidden, so they must be the
// same to the bit on every build.
#include "VelmorEasing.h"

#include <cmath>

namespace Velmor {

namespace {

constexpr double kPi = 3.141592653589793;
constexpr double kTwoPi = 6.283185307179586;

// Back: overshoot s and the InOut overshoot s * 1.525, each plus 1.
constexpr double kBackS = 1.70158;
constexpr double kBackS1 = kBackS + 1;
constexpr double kBackS2 = kBackS * 1.525;
constexpr double kBackS21 = kBackS2 + 1;
static_assert(kBackS1 == 2.70158 && kBackS2 == 2.5949095 && kBackS21 == 3.5949095);

// Elastic: period 0.3 with phase p/4; InOut stretches the period by 1.5, which in double lands
// one unit in the last place below 0.45.
constexpr double kElasticP = 0.3;
constexpr double kElasticS = kElasticP / 4;
constexpr double kElasticPInOut = kElasticP * 1.5;
constexpr double kElasticSInOut = kElasticPInOut / 4;
static_assert(kElasticS == 0.075);
static_assert(kElasticPInOut == 0.44999999999999996 && kElasticPInOut < 0.45);
static_assert(kElasticSInOut == 0.11249999999999999);

}  // namespace

double Easing::Impl::getTime(double t) const {
    if (t <= 0) return 0;
    if (t >= 1) return 1;
    switch (easing_type) {
        case Quad: return _quad(t);
        case Cubic: return _cubic(t);
        case Quart: return _quart(t);
        case Quint: return _quint(t);
        case Expo: return _expo(t);
        case Circ: return _circ(t);
        case Sine: return _sine(t);
        case Bounce: return _bounce(t);
        case Back: return _back(t);
        case Elastic: return _elastic(t);
        default: return t;
    }
}

double Easing::Impl::_quad(double t) const {
    switch (easing_mode) {
        case In: return t * t;
        case Out: return -t * (t - 2);
        case InOut: {
            const double u = t * 2;
            if (u < 1) return 0.5 * u * u;
            return -0.5 * ((u - 1) * (u - 3) - 1);
        }
        default: return 0;
    }
}

double Easing::Impl::_cubic(double t) const {
    switch (easing_mode) {
        case In: return t * t * t;
        case Out: {
            const double v = t - 1;
            return v * v * v + 1;
        }
        case InOut: {
            const double u = t * 2;
            if (u < 1) return 0.5 * u * u * u;
            const double v = u - 2;
            return 0.5 * (v * v * v + 2);
        }
        default: return 0;
    }
}

double Easing::Impl::_quart(double t) const {
    switch (easing_mode) {
        case In: return t * t * t * t;
        case Out: {
            const double v = t - 1;
            return -(v * v * v * v - 1);
        }
        case InOut: {
            const double u = t * 2;
            if (u < 1) return 0.5 * u * u * u * u;
            const double v = u - 2;
            return -0.5 * (v * v * v * v - 2);
        }
        default: return 0;
    }
}

double Easing::Impl::_quint(double t) const {
    switch (easing_mode) {
        case In: return t * t * t * t * t;
        case Out: {
            const double v = t - 1;
            return v * v * v * v * v + 1;
        }
        case InOut: {
            const double u = t * 2;
            if (u < 1) return 0.5 * u * u * u * u * u;
            const double v = u - 2;
            return 0.5 * (v * v * v * v * v + 2);
        }
        default: return 0;
    }
}

double Easing::Impl::_expo(double t) const {
    switch (easing_mode) {
        case In: return t == 0 ? 0 : std::exp2(10 * (t - 1));
        case Out: return t == 1 ? 1 : 1 - std::exp2(-10 * t);
        case InOut: {
            if (t == 0) return 0;
            if (t == 1) return 1;
            const double u = t * 2;
            if (u < 1) return 0.5 * std::exp2(10 * (u - 1));
            return 0.5 * (2 - std::exp2(-10 * (u - 1)));
        }
        default: return 0;
    }
}

double Easing::Impl::_circ(double t) const {
    switch (easing_mode) {
        case In: return -(std::sqrt(1 - t * t) - 1);
        case Out: {
            const double v = t - 1;
            return std::sqrt(1 - v * v);
        }
        case InOut: {
            const double u = t * 2;
            if (u < 1) return -0.5 * (std::sqrt(1 - u * u) - 1);
            const double v = u - 2;
            return 0.5 * (std::sqrt(1 - v * v) + 1);
        }
        default: return 0;
    }
}

double Easing::Impl::_sine(double t) const {
    switch (easing_mode) {
        case In: return 1 - std::cos(t * kPi * 0.5);
        case Out: return std::sin(t * kPi * 0.5);
        case InOut: return -0.5 * (std::cos(t * kPi) - 1);
        default: return 0;
    }
}

double Easing::Impl::_ease_out_bounce(double x) {
    // Four parabolas; strict tests on the breakpoints (multiples of 1/2.75).
    if (x < 1 / 2.75) return 7.5625 * x * x;
    if (x < 2 / 2.75) {
        x -= 1.5 / 2.75;
        return 7.5625 * x * x + 0.75;
    }
    if (x < 2.5 / 2.75) {
        x -= 2.25 / 2.75;
        return 7.5625 * x * x + 0.9375;
    }
    x -= 2.625 / 2.75;
    return 7.5625 * x * x + 0.984375;
}

double Easing::Impl::_bounce(double t) const {
    switch (easing_mode) {
        case In: return 1 - _ease_out_bounce(1 - t);
        case Out: return _ease_out_bounce(t);
        case InOut:
            if (t < 0.5) return 0.5 * (1 - _ease_out_bounce(1 - 2 * t));
            return 0.5 * _ease_out_bounce(2 * t - 1) + 0.5;
        default: return 0;
    }
}

double Easing::Impl::_back(double t) const {
    switch (easing_mode) {
        case In: return t * t * (kBackS1 * t - kBackS);
        case Out: {
            const double v = t - 1;
            return v * v * (kBackS1 * v + kBackS) + 1;
        }
        case InOut: {
            const double u = t * 2;
            if (u < 1) return 0.5 * (u * u * (kBackS21 * u - kBackS2));
            const double v = u - 2;
            return 0.5 * (v * v * (kBackS21 * v + kBackS2) + 2);
        }
        default: return 0;
    }
}

double Easing::Impl::_elastic(double t) const {
    switch (easing_mode) {
        case In: {
            if (t == 0) return 0;
            if (t == 1) return 1;
            const double v = t - 1;
            return std::exp2(10 * v) * std::sin((v - kElasticS) * -kTwoPi / kElasticP);
        }
        case Out:
            if (t == 0) return 0;
            if (t == 1) return 1;
            return std::exp2(-10 * t) * std::sin((t - kElasticS) * kTwoPi / kElasticP) + 1;
        case InOut: {
            if (t == 0) return 0;
            if (t == 1) return 1;
            const double u = t * 2;
            const double v = u - 1;
            const double a = (v - kElasticSInOut) * kTwoPi / kElasticPInOut;
            if (u < 1) return -0.5 * std::exp2(10 * v) * std::sin(a);
            return 0.5 * std::exp2(-10 * v) * std::sin(a) + 1;
        }
        default: return 0;
    }
}

Easing::Easing() : Easing(Linear, InOut) {}

Easing::Easing(int type, int mode) : _holder(nullptr) {
    Impl* impl = new Impl(type, mode);
    try {
        _holder = new ImplHolder<Impl>(impl);
    } catch (...) {
        delete impl;
        throw;
    }
}

Easing::Easing(const Easing& other) : _holder(other._holder->Clone()) {}

Easing& Easing::operator=(const Easing& other) {
    other._holder->CopyTo(_holder);
    return *this;
}

Easing::~Easing() { delete _holder; }

void Easing::setEasingType(int type) { _impl()->setEasingType(type); }
void Easing::setEasingMode(int mode) { _impl()->setEasingMode(mode); }
double Easing::getTime(double t) const { return _impl()->getTime(t); }

}  // namespace Velmor
