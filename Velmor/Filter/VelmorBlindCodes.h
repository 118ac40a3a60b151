// The popup codes of the Blind filter: the 1-based item numbers of its Mode, Order and State
// controls. Blind inherits them (Blind::One, Blind::RandomOrder, ...); the control table reads them
// from here without taking in the filter itself.
#ifndef VELMOR_BLIND_CODES_H
#define VELMOR_BLIND_CODES_H

namespace Velmor {

struct BlindCodes {
    enum Mode { One = 1, Both = 2 };
    enum Order { Normal = 1, Inverse = 2, RandomOrder = 3 };
    enum State { Still = 1, Move = 2, Shrink = 3 };
};

}  // namespace Velmor

#endif
