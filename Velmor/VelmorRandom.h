// A small reproducible pseudo-random generator: the linear congruential recurrence
// state = state * 1103515245 + 12345 (mod 2^32), delivering the low 31 bits of the state.
// The whole state is one 32-bit word, so the same seed gives the same sequence everywhere.
#ifndef VELMOR_RANDOM_H
#define VELMOR_RANDOM_H

#include <cstdint>

namespace Velmor {

class Random {
public:
    static constexpr int RANDOM_MAX = 0x7FFFFFFF;

    Random() : state(1029u) {}
    explicit Random(int seed) : state(static_cast<std::uint32_t>(seed)) {}

    void srand(int seed) { state = static_cast<std::uint32_t>(seed); }

    // Every drawing operation advances the state by exactly one step.
    int rand();                // 0..RANDOM_MAX
    int rand(int n);           // 0..n for n >= 0, truncated toward zero
    int rand(int lo, int hi);  // lo..hi for 0 <= lo <= hi, truncated toward zero
    float randF();             // single precision, may reach 1.0
    float randF(float max);
    float randF(float lo, float hi);
    double randD();  // [0, 1)
    double randD(double max);
    double randD(double lo, double hi);

private:
    std::uint32_t state;
};

}  // namespace Velmor

#endif
