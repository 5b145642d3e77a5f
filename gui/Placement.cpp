#include "gui/Placement.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace {

bool Inside(const tBox& box, const tBox& area) {
    return box.x >= area.x && box.y >= area.y && box.x + box.w <= area.x + area.w &&
           box.y + box.h <= area.y + area.h;
}

bool FreeAt(const std::vector<tBox>& group, int dx, int dy, const std::vector<tBox>& taken,
            const tBox& area) {
    for (const tBox& wanted : group) {
        const tBox moved{wanted.x + dx, wanted.y + dy, wanted.w, wanted.h};
        if (!Inside(moved, area)) return false;
        for (const tBox& other : taken)
            if (moved.Meets(other, tPlacement::kGap)) return false;
    }
    return true;
}

} // namespace

namespace tPlacement {

tBox Footprint(int x, int y, int captionWidth) {
    const int width = std::max(kIconSize, captionWidth);
    return {x + kIconSize / 2 - width / 2, y - kCaptionHeight, width, kIconSize + kCaptionHeight};
}

tPoint NearestFree(const std::vector<tBox>& group, const std::vector<tBox>& taken,
                   const tBox& area) {
    if (group.empty() || FreeAt(group, 0, 0, taken, area)) return {0, 0};
    // Rings of growing distance (in the maximum norm); once a free offset is found, the rings
    // that may still hold a nearer one (in plain distance) are searched too.
    const int reach = std::max(area.w, area.h);
    long best = -1;
    tPoint found{0, 0};
    for (int ring = 1; ring <= reach; ++ring) {
        if (best >= 0 && static_cast<long>(ring) * ring > best) break;
        for (int dy = -ring; dy <= ring; ++dy) {
            const bool edge = dy == -ring || dy == ring;
            for (int dx = -ring; dx <= ring; dx += edge ? 1 : 2 * ring) {
                const long distance = static_cast<long>(dx) * dx + static_cast<long>(dy) * dy;
                if (best >= 0 && distance >= best) continue;
                if (FreeAt(group, dx, dy, taken, area)) {
                    best = distance;
                    found = {dx, dy};
                }
            }
        }
    }
    return found;
}

} // namespace tPlacement
