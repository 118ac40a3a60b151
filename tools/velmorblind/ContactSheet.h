// One picture of a rendered sequence: a grid of small copies of the frames, transparency shown over
// a grey checkerboard, each labelled with its frame number and Completion. Frames are reduced as
// they arrive and the grid holds at most kMaxCells of them, chosen evenly across a longer range, so
// the sheet's memory does not grow with the number of frames.
#pragma once

#include "AE_Effect.h"
#include "Image.h"

#include <string>

namespace vblind {

class ContactSheet {
public:
    static constexpr int kMaxCells = 100;

    // A sequence of `frameCount` frames of `width` x `height` will be offered.
    ContactSheet(int frameCount, int width, int height);

    // Whether the sequence's frame at `index` (0 for its first) gets a cell: all frames up to
    // kMaxCells, else the first, the last and evenly spaced ones between.
    bool wants(int index) const { return added_ < cells_ && index == indexOfCell(added_); }
    int cells() const { return cells_; }
    // The index of the frame shown in cell i.
    int indexOfCell(int i) const;

    // Adds the next cell's frame (any depth) with its label parts.
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
    int cells_;
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
