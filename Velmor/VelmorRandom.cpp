// The seeded generator. The mapped forms convert the raw value first, multiply in the order
// written, and only then offset and truncate, so that results are the same to the bit everywhere.
#include "VelmorRandom.h"

namespace Velmor {

namespace {

constexpr double kScale = 0x1p-31;  // 1 / (RANDOM_MAX + 1)
constexpr float kScaleF = 0x1p-31f;

}  // namespace

int Random::rand() {
    state = state * 1103515245u + 12345u;
    return static_cast<int>(state & 0x7FFFFFFFu);
}

int Random::rand(int n) {
    const double r = static_cast<double>(rand());
    const int count = static_cast<int>(static_cast<unsigned>(n) + 1u);  // int arithmetic, wrapping
    return static_cast<int>((r * kScale) * static_cast<double>(count));
}

int Random::rand(int lo, int hi) {
    const double r = static_cast<double>(rand());
    const int count = static_cast<int>(1u - static_cast<unsigned>(lo) + static_cast<unsigned>(hi));
    return static_cast<int>(static_cast<double>(lo) + (r * kScale) * static_cast<double>(count));
}

float Random::randF() { return static_cast<float>(rand()) * kScaleF; }

float Random::randF(float max) { return (static_cast<float>(rand()) * max) * kScaleF; }

float Random::randF(float lo, float hi) { return (static_cast<float>(rand()) * (hi - lo)) * kScaleF + lo; }

double Random::randD() { return static_cast<double>(rand()) * kScale; }

double Random::randD(double max) { return (static_cast<double>(rand()) * max) * kScale; }

double Random::randD(double lo, double hi) { return (static_cast<double>(rand()) * (hi - lo)) * kScale + lo; }

}  // namespace Velmor
