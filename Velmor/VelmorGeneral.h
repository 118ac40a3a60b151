// The framework's small value types: the integer rectangle Rect, the vectors Vector<T> and
// Vector3d<T>, the colours ColorFloat<T> and ColorInt<T> with their conversions to the host's
// records, the 16.16 fixed-point vector VectorFixed and the Outside modes (Border).
//
// Every operation is a fixed sequence of arithmetic on the fields: the order of the operations
// and the precision each instantiation works in are part of the behaviour (results must be the
// same to the bit on every machine), so do not "simplify" expressions here.
#ifndef VELMOR_GENERAL_H
#define VELMOR_GENERAL_H

#include <cmath>
#include <concepts>
#include <cstdint>
#include <type_traits>

#include "AE_Effect.h"

namespace Velmor {

namespace detail {

// Two's-complement wrapping arithmetic for 32-bit integers (plain signed overflow is undefined).
template <typename T>
constexpr T wrapAdd(T a, T b) {
    using U = std::make_unsigned_t<T>;
    return static_cast<T>(static_cast<U>(a) + static_cast<U>(b));
}
template <typename T>
constexpr T wrapSub(T a, T b) {
    using U = std::make_unsigned_t<T>;
    return static_cast<T>(static_cast<U>(a) - static_cast<U>(b));
}
template <typename T>
constexpr T wrapMul(T a, T b) {
    using U = std::make_unsigned_t<T>;
    return static_cast<T>(static_cast<U>(a) * static_cast<U>(b));
}

}  // namespace detail

// ---------------------------------------------------------------------------------------------
// Vector<T>: T = double, float, int.

template <typename T>
class Vector {
public:
    T x, y;

    Vector() : x(0), y(0) {}
    explicit Vector(T v) : x(v), y(v) {}
    Vector(T x_, T y_) : x(x_), y(y_) {}
    Vector(const Vector&) = default;
    Vector& operator=(const Vector&) = default;

    Vector& operator+=(const Vector& b) {
        x += b.x;
        y += b.y;
        return *this;
    }
    Vector& operator-=(const Vector& b) {
        x -= b.x;
        y -= b.y;
        return *this;
    }
    Vector& operator*=(const Vector& b) {
        x *= b.x;
        y *= b.y;
        return *this;
    }
    Vector& operator/=(const Vector& b) {
        x /= b.x;
        y /= b.y;
        return *this;
    }
    Vector& operator*=(const T& s) {
        x *= s;
        y *= s;
        return *this;
    }
    Vector& operator/=(const T& s) {
        x /= s;
        y /= s;
        return *this;
    }

    // Always double. float: squares and sum in single precision, widened before the root;
    // int: squares and sum in wrapping 32-bit arithmetic, converted before the root.
    double length() const {
        if constexpr (std::is_integral_v<T>) {
            const T sum = detail::wrapAdd(detail::wrapMul(x, x), detail::wrapMul(y, y));
            return std::sqrt(static_cast<double>(sum));
        } else {
            const T sum = x * x + y * y;
            return std::sqrt(static_cast<double>(sum));
        }
    }

    // Quotients formed in double and stored back as T (nearest for float, truncation for int).
    void normalize() {
        const double len = length();
        if (len > 0) {
            x = static_cast<T>(static_cast<double>(x) / len);
            y = static_cast<T>(static_cast<double>(y) / len);
        }
    }

    T dot(const Vector& b) const { return x * b.x + y * b.y; }
    T cross(const Vector& b) const { return x * b.y - y * b.x; }
};

// ---------------------------------------------------------------------------------------------
// Vector3d<T>: T = double, float. Unlike Vector<float>, everything stays in T.

template <typename T>
class Vector3d {
public:
    T x, y, z;

    Vector3d() : x(0), y(0), z(0) {}
    Vector3d(T x_, T y_, T z_) : x(x_), y(y_), z(z_) {}
    Vector3d(const Vector3d&) = default;
    Vector3d& operator=(const Vector3d&) = default;

    Vector3d& operator+=(const Vector3d& b) {
        x += b.x;
        y += b.y;
        z += b.z;
        return *this;
    }
    Vector3d& operator-=(const Vector3d& b) {
        x -= b.x;
        y -= b.y;
        z -= b.z;
        return *this;
    }
    Vector3d& operator*=(const Vector3d& b) {
        x *= b.x;
        y *= b.y;
        z *= b.z;
        return *this;
    }
    Vector3d& operator/=(const Vector3d& b) {
        x /= b.x;
        y /= b.y;
        z /= b.z;
        return *this;
    }
    Vector3d& operator*=(const T& s) {
        x *= s;
        y *= s;
        z *= s;
        return *this;
    }
    Vector3d& operator/=(const T& s) {
        x /= s;
        y /= s;
        z /= s;
        return *this;
    }

    T length() const { return std::sqrt(x * x + y * y + z * z); }

    void normalize() {
        const T len = length();
        if (len > 0) {
            x /= len;
            y /= len;
            z /= len;
        }
    }

    T dot(const Vector3d& b) const { return x * b.x + y * b.y + z * b.z; }

    // A new vector; this one is left as it is.
    Vector3d cross(const Vector3d& b) {
        return Vector3d(y * b.z - z * b.y, z * b.x - x * b.z, x * b.y - y * b.x);
    }
};

// ---------------------------------------------------------------------------------------------
// Rect: left, top, right, bottom; right and bottom one past the last column and row. Never
// reordered except by the corner constructors.

class Rect {
public:
    int left, top, right, bottom;

    Rect() : left(0), top(0), right(0), bottom(0) {}
    Rect(int l, int t, int r, int b) : left(l), top(t), right(r), bottom(b) {}
    Rect(const PF_LRect& r) : left(r.left), top(r.top), right(r.right), bottom(r.bottom) {}
    Rect(const Vector<int>& a, const Vector<int>& b) { setRect(a, b); }
    Rect(const Vector<double>& a, const Vector<double>& b) { setRect(a, b); }

    void setRect(int l, int t, int r, int b) {
        left = l;
        top = t;
        right = r;
        bottom = b;
    }
    void setRect(const PF_LRect& r) { setRect(r.left, r.top, r.right, r.bottom); }
    void setRect(const Vector<int>& a, const Vector<int>& b) {
        left = a.x < b.x ? a.x : b.x;
        right = a.x < b.x ? b.x : a.x;
        top = a.y < b.y ? a.y : b.y;
        bottom = a.y < b.y ? b.y : a.y;
    }
    // Orders each axis on the doubles, then truncates each bound toward zero.
    void setRect(const Vector<double>& a, const Vector<double>& b) {
        left = static_cast<int>(a.x < b.x ? a.x : b.x);
        right = static_cast<int>(a.x < b.x ? b.x : a.x);
        top = static_cast<int>(a.y < b.y ? a.y : b.y);
        bottom = static_cast<int>(a.y < b.y ? b.y : a.y);
    }

    int getWidth() const { return right - left; }
    int getHeight() const { return bottom - top; }
    Vector<int> getLeftTop() const { return Vector<int>(left, top); }
    Vector<int> getRightBottom() const { return Vector<int>(right, bottom); }
    bool isEmpty() const { return left >= right || top >= bottom; }

    bool operator==(const Rect& r) const {
        return left == r.left && top == r.top && right == r.right && bottom == r.bottom;
    }
    bool operator!=(const Rect& r) const { return !(*this == r); }
};

inline PF_LRect aeRect(const Rect& r) {
    PF_LRect out;
    out.left = r.left;
    out.top = r.top;
    out.right = r.right;
    out.bottom = r.bottom;
    return out;
}

// ---------------------------------------------------------------------------------------------
// ColorFloat<T>: T = float, double. Channels on the 0..1 scale unless a caller asks for the raw
// scale with normalized = false.

template <typename T>
class ColorFloat {
public:
    T alpha, red, green, blue;

    ColorFloat() : alpha(0), red(0), green(0), blue(0) {}
    ColorFloat(T r, T g, T b) : alpha(1), red(r), green(g), blue(b) {}
    ColorFloat(T a, T r, T g, T b) : alpha(a), red(r), green(g), blue(b) {}

    // Divided by 255 in T (a division, not a multiplication by a reciprocal).
    ColorFloat(const PF_Pixel& p) : ColorFloat(p, true) {}
    ColorFloat(const PF_Pixel& p, bool normalized)
        : alpha(static_cast<T>(p.alpha)),
          red(static_cast<T>(p.red)),
          green(static_cast<T>(p.green)),
          blue(static_cast<T>(p.blue)) {
        if (normalized) {
            alpha /= static_cast<T>(255);
            red /= static_cast<T>(255);
            green /= static_cast<T>(255);
            blue /= static_cast<T>(255);
        }
    }

    // Multiplied by 2^-15 (exact); 32768 reads as 1.
    ColorFloat(const PF_Pixel16& p) : ColorFloat(p, true) {}
    ColorFloat(const PF_Pixel16& p, bool normalized)
        : alpha(static_cast<T>(p.alpha)),
          red(static_cast<T>(p.red)),
          green(static_cast<T>(p.green)),
          blue(static_cast<T>(p.blue)) {
        if (normalized) {
            const T k = static_cast<T>(3.0517578125e-05);
            alpha *= k;
            red *= k;
            green *= k;
            blue *= k;
        }
    }

    // Copied as they are: no scaling, no clamping.
    ColorFloat(const PF_PixelFloat& p)
        : alpha(static_cast<T>(p.alpha)),
          red(static_cast<T>(p.red)),
          green(static_cast<T>(p.green)),
          blue(static_cast<T>(p.blue)) {}

    ColorFloat& operator+=(const ColorFloat& c) {
        alpha += c.alpha;
        red += c.red;
        green += c.green;
        blue += c.blue;
        return *this;
    }
    ColorFloat& operator-=(const ColorFloat& c) {
        alpha -= c.alpha;
        red -= c.red;
        green -= c.green;
        blue -= c.blue;
        return *this;
    }
    ColorFloat operator+(const ColorFloat& c) const {
        ColorFloat r(*this);
        r += c;
        return r;
    }
    ColorFloat operator-(const ColorFloat& c) const {
        ColorFloat r(*this);
        r -= c;
        return r;
    }

    ColorFloat& operator*=(const T& s) {
        alpha *= s;
        red *= s;
        green *= s;
        blue *= s;
        return *this;
    }
    ColorFloat& operator/=(const T& s) {
        alpha /= s;
        red /= s;
        green /= s;
        blue /= s;
        return *this;
    }
    ColorFloat operator*(const T& s) const {
        ColorFloat r(*this);
        r *= s;
        return r;
    }
    ColorFloat operator/(const T& s) const {
        ColorFloat r(*this);
        r /= s;
        return r;
    }

    // The int is converted to T first; the double divisions take it through single precision.
    ColorFloat& operator*=(const int& s) { return *this *= static_cast<T>(s); }
    ColorFloat& operator/=(const int& s) { return *this /= _intDivisor(s); }
    ColorFloat operator*(const int& s) const { return *this * static_cast<T>(s); }
    ColorFloat operator/(const int& s) const { return *this / _intDivisor(s); }

    // Colour channels only; alpha takes no part.
    T dot(const ColorFloat& c) const { return (red * c.red + green * c.green) + blue * c.blue; }

    void mult(T s) {
        red *= s;
        green *= s;
        blue *= s;
    }
    void div(T s) {
        red /= s;
        green /= s;
        blue /= s;
    }

    // Colour channels only; a NaN channel stays NaN.
    void clamp(T max) {
        _clampOne(red, max);
        _clampOne(green, max);
        _clampOne(blue, max);
    }

private:
    static T _intDivisor(int s) { return static_cast<T>(static_cast<float>(s)); }
    static void _clampOne(T& v, T max) {
        if (v > max)
            v = max;
        else if (v < 0)
            v = 0;
    }
};

// ---------------------------------------------------------------------------------------------
// ColorInt<T>: T = int, unsigned int. Wrapping 32-bit arithmetic throughout.

template <typename T>
class ColorInt {
public:
    T alpha, red, green, blue;

    ColorInt() : alpha(0), red(0), green(0), blue(0) {}
    ColorInt(T a, T r, T g, T b) : alpha(a), red(r), green(g), blue(b) {}
    ColorInt(const PF_Pixel& p) : alpha(p.alpha), red(p.red), green(p.green), blue(p.blue) {}
    ColorInt(const PF_Pixel16& p) : alpha(p.alpha), red(p.red), green(p.green), blue(p.blue) {}

    ColorInt& operator+=(const ColorInt& c) {
        alpha = detail::wrapAdd(alpha, c.alpha);
        red = detail::wrapAdd(red, c.red);
        green = detail::wrapAdd(green, c.green);
        blue = detail::wrapAdd(blue, c.blue);
        return *this;
    }
    ColorInt& operator-=(const ColorInt& c) {
        alpha = detail::wrapSub(alpha, c.alpha);
        red = detail::wrapSub(red, c.red);
        green = detail::wrapSub(green, c.green);
        blue = detail::wrapSub(blue, c.blue);
        return *this;
    }
    ColorInt operator+(const ColorInt& c) const {
        ColorInt r(*this);
        r += c;
        return r;
    }
    ColorInt operator-(const ColorInt& c) const {
        ColorInt r(*this);
        r -= c;
        return r;
    }

    ColorInt& operator*=(const int& s) {
        const T k = static_cast<T>(s);
        alpha = detail::wrapMul(alpha, k);
        red = detail::wrapMul(red, k);
        green = detail::wrapMul(green, k);
        blue = detail::wrapMul(blue, k);
        return *this;
    }
    // int: signed division truncating toward zero; unsigned int: the divisor taken as unsigned.
    ColorInt& operator/=(const int& s) {
        const T k = static_cast<T>(s);
        alpha /= k;
        red /= k;
        green /= k;
        blue /= k;
        return *this;
    }
    ColorInt operator*(const int& s) const {
        ColorInt r(*this);
        r *= s;
        return r;
    }
    ColorInt operator/(const int& s) const {
        ColorInt r(*this);
        r /= s;
        return r;
    }

    // Colour channels only; alpha unchanged.
    void mult(T s) {
        red = detail::wrapMul(red, s);
        green = detail::wrapMul(green, s);
        blue = detail::wrapMul(blue, s);
    }
    void div(T s) {
        red /= s;
        green /= s;
        blue /= s;
    }
};

// ---------------------------------------------------------------------------------------------
// Conversions to host pixels. 8 and 16 bits clamp and truncate toward zero (no rounding); a NaN
// channel gives 0. Float pixels are never limited.

namespace detail {

template <typename Out, typename T>
inline Out clampTruncate(T v, T full) {
    if (v > full) return static_cast<Out>(full);
    if (v >= 0)  // fails for NaN as well as for negatives
        return static_cast<Out>(v);
    return 0;
}

template <typename Out, typename T>
inline Out clampInt(T v, unsigned full) {
    if constexpr (std::is_signed_v<T>) {
        if (v < 0) return 0;
    }
    return static_cast<Out>(static_cast<unsigned>(v) > full ? full : static_cast<unsigned>(v));
}

}  // namespace detail

namespace detail {

// Both integer depths convert alike: scale (when normalized), clamp to 0..full, truncate.
template <typename Pixel, typename Channel, typename T>
inline Pixel toIntegerPixel(const ColorFloat<T>& c, bool normalized, T full) {
    Pixel p;
    p.alpha = clampTruncate<Channel>(normalized ? c.alpha * full : c.alpha, full);
    p.red = clampTruncate<Channel>(normalized ? c.red * full : c.red, full);
    p.green = clampTruncate<Channel>(normalized ? c.green * full : c.green, full);
    p.blue = clampTruncate<Channel>(normalized ? c.blue * full : c.blue, full);
    return p;
}

template <typename Pixel, typename Channel, typename T>
inline Pixel toIntegerPixel(const ColorInt<T>& c, unsigned full) {
    Pixel p;
    p.alpha = clampInt<Channel>(c.alpha, full);
    p.red = clampInt<Channel>(c.red, full);
    p.green = clampInt<Channel>(c.green, full);
    p.blue = clampInt<Channel>(c.blue, full);
    return p;
}

}  // namespace detail

template <std::floating_point T>
inline PF_Pixel aePixel8(const ColorFloat<T>& c, bool normalized) {
    return detail::toIntegerPixel<PF_Pixel, A_u_char>(c, normalized, static_cast<T>(255));
}

template <std::floating_point T>
inline PF_Pixel aePixel8(const ColorFloat<T>& c) {
    return aePixel8<T>(c, true);
}

template <std::floating_point T>
inline PF_Pixel16 aePixel16(const ColorFloat<T>& c, bool normalized) {
    return detail::toIntegerPixel<PF_Pixel16, A_u_short>(c, normalized, static_cast<T>(32768));
}

template <std::floating_point T>
inline PF_Pixel16 aePixel16(const ColorFloat<T>& c) {
    return aePixel16<T>(c, true);
}

template <std::floating_point T>
inline PF_PixelFloat aePixel32(const ColorFloat<T>& c) {
    PF_PixelFloat p;
    p.alpha = static_cast<float>(c.alpha);
    p.red = static_cast<float>(c.red);
    p.green = static_cast<float>(c.green);
    p.blue = static_cast<float>(c.blue);
    return p;
}

template <std::integral T>
inline PF_Pixel aePixel8(const ColorInt<T>& c) {
    return detail::toIntegerPixel<PF_Pixel, A_u_char>(c, 255u);
}

template <std::integral T>
inline PF_Pixel16 aePixel16(const ColorInt<T>& c) {
    return detail::toIntegerPixel<PF_Pixel16, A_u_short>(c, 32768u);
}

// ---------------------------------------------------------------------------------------------
// 16.16 fixed point, the host's form of sample positions (65536 is one pixel) and of fixed-point
// control values (65536 is one unit: a percent, a degree). The only conversions to and from it.

constexpr int kFixedOne = 65536;

// A whole number in 16.16. Wraps instead of overflowing (no image comes near that size).
constexpr int toFixed(int whole) { return static_cast<int>(static_cast<unsigned>(whole) << 16); }

// A real number in 16.16, rounded half away from zero: add 0.5 to a value that is not negative,
// subtract 0.5 from a negative one, then truncate. Beyond the 32-bit range (far larger than any
// image) it saturates to +-INT_MAX, so that the result can always be negated; NaN gives 0.
inline int roundFixed(double v) {
    if (std::isnan(v)) return 0;
    const double scaled = v * kFixedOne;
    const double r = scaled < 0.0 ? scaled - 0.5 : scaled + 0.5;
    if (r >= 2147483647.0) return 2147483647;
    if (r <= -2147483647.0) return -2147483647;
    return static_cast<int>(r);
}

constexpr double fromFixed(int fixed) { return fixed / 65536.0; }

// ---------------------------------------------------------------------------------------------
// VectorFixed: x, y in 16.16 fixed point (65536 is one pixel); wrapping 32-bit arithmetic.

class VectorFixed {
public:
    int x, y;

    VectorFixed() : x(0), y(0) {}
    VectorFixed(int x_, int y_) : x(x_), y(y_) {}

    VectorFixed& operator+=(const VectorFixed& b) {
        x = detail::wrapAdd(x, b.x);
        y = detail::wrapAdd(y, b.y);
        return *this;
    }
    VectorFixed& operator-=(const VectorFixed& b) {
        x = detail::wrapSub(x, b.x);
        y = detail::wrapSub(y, b.y);
        return *this;
    }
    VectorFixed operator+(const VectorFixed& b) const {
        VectorFixed r(*this);
        r += b;
        return r;
    }
    VectorFixed operator-(const VectorFixed& b) const {
        VectorFixed r(*this);
        r -= b;
        return r;
    }

    // Both components times the same integer; no rescaling.
    VectorFixed& operator*=(int s) {
        x = detail::wrapMul(x, s);
        y = detail::wrapMul(y, s);
        return *this;
    }
    VectorFixed operator*(int s) const {
        VectorFixed r(*this);
        r *= s;
        return r;
    }

    // The complex product with r. Dropping 12 bits from one factor and 4 from the other keeps
    // the product in 16.16 within 32 bits.
    VectorFixed rotate(const VectorFixed& r) const {
        using detail::wrapAdd;
        using detail::wrapMul;
        using detail::wrapSub;
        const int ax = x >> 12, ay = y >> 12;
        const int bx = r.x >> 4, by = r.y >> 4;
        return VectorFixed(wrapSub(wrapMul(ax, bx), wrapMul(ay, by)),
                           wrapAdd(wrapMul(ay, bx), wrapMul(ax, by)));
    }

    bool operator==(const VectorFixed& b) const { return x == b.x && y == b.y; }
    bool operator!=(const VectorFixed& b) const { return !(*this == b); }
};

// (cos angle, -sin angle) in 16.16, each rounded half away from zero.
inline VectorFixed createRotatedFixed(double angle) {
    return VectorFixed(static_cast<int>(std::round(std::cos(angle) * 65536.0)),
                       static_cast<int>(std::round(-std::sin(angle) * 65536.0)));
}

// ---------------------------------------------------------------------------------------------
// Border: the Outside modes that map a sample position lying beyond the image back onto it.
// Codes: 1 Void (also any code not listed: unchanged), 2 Edge, 3 Tile, 4 Mirror.

class Border {
public:
    enum Type { Void = 1, Edge = 2, Tile = 3, Mirror = 4 };

    // One whole-pixel coordinate, size in pixels.
    static int offset(int c, int size, int type) {
        switch (type) {
            case Edge: return c < 0 ? 0 : (c >= size ? size - 1 : c);
            case Tile: {
                if (size <= 0)  // an empty image has nothing to tile
                    return c;
                int m = c % size;
                if (m < 0) m += size;
                return m;
            }
            case Mirror: {
                if (size <= 0 || (c >= 0 && c < size)) return c;
                // 64-bit so that 2 * size and -c - 1 cannot overflow.
                const std::int64_t s = size;
                const std::int64_t cc = c < 0 ? -static_cast<std::int64_t>(c) - 1 : c;
                std::int64_t m = cc % (2 * s);
                if (m >= s) m = 2 * s - 1 - m;
                return static_cast<int>(m);
            }
            default: return c;
        }
    }

    // One 16.16 coordinate; the size in pixels (fixed false) or already in 16.16 (fixed true).
    static int offsetF(int c, int size, int type, bool fixed) {
        const int s = fixed ? size : toFixed(size);
        return _map(c, s, detail::wrapSub(s, kFixedOne), type);
    }

    // Both components of p in place; sizes in pixels (fixed false) or in 16.16 (fixed true).
    static void offsetF(VectorFixed& p, int w, int h, int type, bool fixed) {
        const int sw = fixed ? w : toFixed(w);
        const int sh = fixed ? h : toFixed(h);
        offsetF(p, sw, detail::wrapSub(sw, kFixedOne), sh, detail::wrapSub(sh, kFixedOne), type);
    }

    // Both components of p in place; sizes and maxima in 16.16. The form the pixel passes use.
    static void offsetF(VectorFixed& p, int w, int w_max, int h, int h_max, int type) {
        p.x = _map(p.x, w, w_max, type);
        p.y = _map(p.y, h, h_max, type);
    }

private:
    // One 16.16 coordinate with size s and maximum m.
    static int _map(int c, int s, int m, int type) {
        switch (type) {
            case Edge: return c < 0 ? 0 : (c < m ? c : m);
            case Tile: {
                if (s <= 0)  // an empty image has nothing to tile
                    return c;
                int r = c % s;
                if (r < 0) r += s;
                return r < m ? r : m;
            }
            case Mirror: {
                if (s <= 0) return c;
                std::int64_t r = c;
                if (c < 0 || c >= s) {
                    // 64-bit: 2s overflows 32 bits for images wider than 16384 pixels, and
                    // -65536 - c for coordinates near the most negative int.
                    const std::int64_t s2 = 2 * static_cast<std::int64_t>(s);
                    const std::int64_t cc = c < 0 ? -65536 - static_cast<std::int64_t>(c) : c;
                    r = cc % s2;
                    if (r >= s) r = s2 - 65536 - r;
                }
                if (r < 0)
                    r = 0;
                else if (r > m)
                    r = m;
                return static_cast<int>(r);
            }
            default: return c;
        }
    }
};

}  // namespace Velmor

#endif
