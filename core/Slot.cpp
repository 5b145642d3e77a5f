#include "core/Slot.h"

#include "core/Path.h"

#include "core/TextFile.h"

#include <algorithm>
#include <cstdio>
#include <sstream>

namespace {
int gIdCounter = 0;
// Enough for any rack a user builds; connecting then never allocates under the rack's lock.
constexpr std::size_t kReservedLinks = 32;
} // namespace

int tSlot::IdCounter() {
    return gIdCounter;
}
void tSlot::ResetIdCounter() {
    gIdCounter = 0;
}

tSlot::tSlot(int type, int x, int y, bool acceptsInput)
    : mType(type), mId(++gIdCounter), mX(x), mY(y), mAcceptsInput(acceptsInput) {
    char text[32];
    std::snprintf(text, sizeof text, "<%d>", mId);
    mCaption = text;
    mInputs.reserve(kReservedLinks);
    mOutputs.reserve(kReservedLinks);
}

tSlot::~tSlot() = default;

void tSlot::SetName(const char* path) {
    if (path == nullptr) return;
    mCaption = BaseName(path);
}

void tSlot::LoadPatchFile(const std::string& path) {
    std::string text;
    if (!ReadTextFile(path, text)) text.clear();
    std::istringstream in(text);
    ReadPatch(path.c_str(), in);
    SetName(path.c_str());
}

bool tSlot::SavePatchFile(const std::string& path) {
    std::ostringstream out;
    WritePatch(out);
    if (!WriteTextFile(path, out.str())) return false;
    SetName(path.c_str());
    return true;
}

void tSlot::PullInputs(int frames, double* buffer, int n) {
    if (rendered) return;
    if (mInputs.empty()) {
        std::fill(buffer, buffer + n, 0.0);
        rendered = true;
        return;
    }
    bool first = true;
    for (tSlot* input : mInputs) {
        if (!input->IsActive()) continue;
        input->Pull(frames);
        const double* out = input->Output();
        if (first) {
            std::copy(out, out + n, buffer);
            first = false;
        } else {
            for (int i = 0; i < n; ++i) buffer[i] += out[i];
        }
    }
    if (first) std::fill(buffer, buffer + n, 0.0);
    Render(frames);
}
