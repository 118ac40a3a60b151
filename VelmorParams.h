// The effect's parameter indices. The host stores projects by these numbers, and each parameter
// is declared with an id equal to its index: they never change.
#pragma once

enum {
    PARAM_INPUT = 0,
    PARAM_MODE,
    PARAM_COMPLETION,
    PARAM_DELAY,
    PARAM_WIDTH,
    PARAM_DIRECTION,
    PARAM_OFFSET,
    PARAM_ORDER,
    PARAM_SEED,
    PARAM_EASING,
    PARAM_EASING_MODE,
    PARAM_STATE,
    PARAM_OUTSIDE,
    PARAM_COUNT
};
