// Rectangle utilities of the smart-render path.
#pragma once

#include "AE_Effect.h"

// True when the rectangle holds no pixel (left >= right or top >= bottom).
bool IsEmptyRect(const PF_LRect* r);

// Grows *dst to cover *src: an empty dst becomes a copy of src; otherwise a non-empty src widens
// dst to the bounding box of both, and an empty src leaves dst as it is.
void UnionLRect(const PF_LRect* src, PF_LRect* dst);
