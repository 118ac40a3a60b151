// Exact conversions of channel values between what image files hold and what the host works on.
// 8-bit 0..255 is the same in both; 16-bit files hold 0..65535 where the host holds 0..32768; float
// is the same nominal 0..1 in both. Integer formulas use integer division on purpose: they are the
// documented conversions, and the 16-bit pair round-trips every host value 0..32768.
#pragma once

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <type_traits>

namespace vsession::px {

// 16-bit file value -> host 0..32768.
constexpr std::uint16_t hostFromFile16(std::uint16_t v) {
    return static_cast<std::uint16_t>((std::uint32_t{v} * 32768u + 32767u) / 65535u);
}
// Host 0..32768 -> 16-bit file value (host values above full scale are clamped first).
constexpr std::uint16_t file16FromHost(std::uint16_t ae) {
    const std::uint32_t a = std::min<std::uint32_t>(ae, 32768u);
    return static_cast<std::uint16_t>((a * 65535u + 16384u) / 32768u);
}
// 8-bit file value -> host 16-bit (--depth 16 on an 8-bit file).
constexpr std::uint16_t host16From8(std::uint8_t v) {
    return static_cast<std::uint16_t>((std::uint32_t{v} * 32768u + 127u) / 255u);
}
// 16-bit file value -> 8 bits, rounded to nearest (--depth 8 on a 16-bit file).
constexpr std::uint8_t host8FromFile16(std::uint16_t v) {
    return static_cast<std::uint8_t>((std::uint32_t{v} * 255u + 32767u) / 65535u);
}
// Host 16-bit -> 8-bit file value, rounded to nearest (a 16-bit render into an 8-bit-only format).
constexpr std::uint8_t file8FromHost16(std::uint16_t ae) {
    const std::uint32_t a = std::min<std::uint32_t>(ae, 32768u);
    return static_cast<std::uint8_t>((a * 255u + 16384u) / 32768u);
}

// An 8-bit host pixel (the bytes alpha, red, green, blue) read as a little-endian 32-bit word and
// turned right by a byte is the same pixel in file order (red, green, blue, alpha); turned left,
// back again. Callers check std::endian::native.
constexpr std::uint32_t rgbaWordFromHost(std::uint32_t word) { return std::rotr(word, 8); }
constexpr std::uint32_t hostWordFromRgba(std::uint32_t word) { return std::rotl(word, 8); }

inline float floatFrom8(std::uint8_t v) { return static_cast<float>(v) / 255.0f; }
inline float floatFromFile16(std::uint16_t v) { return static_cast<float>(v) / 65535.0f; }
inline float floatFromHost16(std::uint16_t ae) { return static_cast<float>(ae) / 32768.0f; }

// Float -> an integer scale 0..full, clamped (NaN counts as 0) and rounded to nearest.
inline std::uint32_t quantize(float v, std::uint32_t full) {
    if (!(v > 0.0f)) return 0;
    if (v >= 1.0f) return full;
    return static_cast<std::uint32_t>(std::lround(static_cast<double>(v) * full));
}
inline std::uint8_t to8(float v) { return static_cast<std::uint8_t>(quantize(v, 255)); }
inline std::uint16_t toFile16(float v) { return static_cast<std::uint16_t>(quantize(v, 65535)); }
inline std::uint16_t toHost16(float v) { return static_cast<std::uint16_t>(quantize(v, 32768)); }

// The whole table, by type: a value as a file holds it -> the host's value at a depth, and back.
// Host types: std::uint8_t (8-bit), std::uint16_t (16-bit, 0..32768), float. File types:
// std::uint8_t, std::uint16_t (0..65535), float.
template <typename Host, typename File>
Host toHost(File v) {
    if constexpr (std::is_same_v<File, Host>) {
        if constexpr (std::is_same_v<File, std::uint16_t>)
            return hostFromFile16(v);
        else
            return v;
    } else if constexpr (std::is_same_v<File, std::uint8_t>) {
        if constexpr (std::is_same_v<Host, std::uint16_t>)
            return host16From8(v);
        else
            return floatFrom8(v);
    } else if constexpr (std::is_same_v<File, std::uint16_t>) {
        if constexpr (std::is_same_v<Host, std::uint8_t>)
            return host8FromFile16(v);
        else
            return floatFromFile16(v);
    } else {
        if constexpr (std::is_same_v<Host, std::uint8_t>)
            return to8(v);
        else
            return toHost16(v);
    }
}

template <typename File, typename Host>
File toFile(Host v) {
    if constexpr (std::is_same_v<File, Host>) {
        if constexpr (std::is_same_v<Host, std::uint16_t>)
            return file16FromHost(v);
        else
            return v;
    } else if constexpr (std::is_same_v<Host, std::uint8_t>) {
        if constexpr (std::is_same_v<File, std::uint16_t>)
            return static_cast<std::uint16_t>(v * 257u);
        else
            return floatFrom8(v);
    } else if constexpr (std::is_same_v<Host, std::uint16_t>) {
        if constexpr (std::is_same_v<File, std::uint8_t>)
            return file8FromHost16(v);
        else
            return floatFromHost16(v);
    } else {
        if constexpr (std::is_same_v<File, std::uint8_t>)
            return to8(v);
        else
            return toFile16(v);
    }
}

// Associated (premultiplied) colour back to straight, in the file's own units before any conversion
// to the host: integers rounded to nearest and clamped to full scale, float divided. Where alpha is
// 0 the colour is left as stored (straight colour cannot say more).
template <typename File>
File unassociate(File colour, File alpha) {
    if constexpr (std::is_same_v<File, float>) {
        return alpha != 0.0f ? colour / alpha : colour;
    } else {
        constexpr std::uint32_t full = std::is_same_v<File, std::uint8_t> ? 255u : 65535u;
        if (alpha == 0) return colour;
        const std::uint32_t v = (std::uint32_t{colour} * full + alpha / 2u) / alpha;
        return static_cast<File>(std::min(v, full));
    }
}

// Straight float colour to associated, as OpenEXR stores it: colour 0 wherever alpha is 0.
inline float associate(float colour, float alpha) { return alpha == 0.0f ? 0.0f : colour * alpha; }

}  // namespace vsession::px
