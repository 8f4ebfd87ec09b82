#pragma once

// Layout arithmetic of the window model. Positions and sizes are twips held in single precision; the
// helpers here are the only place where rounding and halving are done, so every window computes the same.

#include <cmath>
#include <cstdint>

namespace kv {

// Twips per logical pixel (1440 to the inch at 96 dots per inch).
inline constexpr int kTwipsPerPixel = 15;

// Rounds to the nearest whole number; a value exactly half-way goes to the even neighbour.
inline double roundHalfEven(double v) {
    const double f = std::floor(v);
    const double d = v - f;
    if (d < 0.5) return f;
    if (d > 0.5) return f + 1.0;
    return std::fmod(f, 2.0) == 0.0 ? f : f + 1.0;
}

// (W rounded) \ 2: W rounded half to even, then halved as a whole number with the remainder dropped.
inline std::int64_t halfOfRounded(double w) {
    auto n = static_cast<std::int64_t>(roundHalfEven(w));
    return n / 2;
}

// A result stored as a single-precision property.
inline float single(double v) {
    return static_cast<float>(v);
}

// s * k computed in double precision plus an offset, the result stored in single precision (the
// three-panel arithmetic with 0.333 and 0.666).
inline float scaledPlus(float s, double k, double offset) {
    return single(static_cast<double>(s) * k + offset);
}

}  // namespace kv
