// Where a new module goes in the rack: its wanted place when that is free, otherwise the
// nearest free place. A module takes its icon and its caption above it; two modules are apart
// when these footprints, with a small gap, do not meet.
//
// All of it in the rack's coordinates at factor 1 (the coordinates rack files keep).
#pragma once

#include <vector>

struct tBox {
    int x = 0, y = 0, w = 0, h = 0;
    bool Meets(const tBox& other, int gap) const {
        return x < other.x + other.w + gap && other.x < x + w + gap &&
               y < other.y + other.h + gap && other.y < y + h + gap;
    }
};

struct tPoint {
    int x = 0, y = 0;
};

namespace tPlacement {

constexpr int kIconSize = 64;
constexpr int kCaptionHeight = 11; // the caption's strip above the icon
constexpr int kGap = 6;            // between two footprints

// The icon at (x, y) with a caption captionWidth wide centred above it.
tBox Footprint(int x, int y, int captionWidth);

// The offset (dx, dy) nearest to (0, 0) that puts every footprint of group (the modules of one
// preset, or one module) inside area and clear of every footprint in taken; (0, 0) when the
// wanted places are free. When there is no such offset: (0, 0), the wanted places.
tPoint NearestFree(const std::vector<tBox>& group, const std::vector<tBox>& taken,
                   const tBox& area);

} // namespace tPlacement
