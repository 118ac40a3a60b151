// One picture of a rendered sequence: a grid of small copies of the frames, transparency shown over
// a grey checkerboard, each labelled with its frame number and Completion. Frames are reduced as
// they arrive, so a long sequence never sits in memory whole.
#pragma once

#include "AE_Effect.h"
#include "Image.h"

#include <string>

namespace vblind {

class ContactSheet {
public:
    // `frameCount` frames of `width` x `height` will be added.
    ContactSheet(int frameCount, int width, int height);

    // Adds the next frame (any depth) with its label parts.
    void add(const vhost::Image& frame, int frameNumber, double completionPercent);

    // The sheet so far, 8-bit, opaque.
    const vhost::Image& image() const { return sheet_; }

    int columns() const { return columns_; }
    int thumbWidth() const { return thumbW_; }
    int thumbHeight() const { return thumbH_; }
    // Top-left corner of the thumbnail of the i-th added frame.
    int cellX(int i) const;
    int cellY(int i) const;

    static std::string label(int frameNumber, double completionPercent);

private:
    int count_;
    int columns_ = 1, rows_ = 1;
    int thumbW_ = 1, thumbH_ = 1;
    int cellW_ = 1, cellH_ = 1;
    int labelScale_ = 1;
    int added_ = 0;
    vhost::Image sheet_;
};

// The checkerboard colour behind a sheet pixel (x, y): 8 x 8 squares of two greys.
PF_Pixel checkerAt(int x, int y);

}  // namespace vblind
