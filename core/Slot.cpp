#include "core/Slot.h"

#include "core/Path.h"
#include "core/TextFile.h"
#include "dsp/BlockOps.h"

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

bool tSlot::ReadPatchFile(const std::string& path, std::string& text, std::string& error) {
    std::string reason;
    const tFileRead status = ReadTextFile(path, text, kMaxPatchFileSize, reason);
    if (status == tFileRead::kOk) return true;
    error = ReadFailure(status, path, "patch", reason);
    return false;
}

void tSlot::ApplyPatchText(const std::string& path, const std::string& text) {
    std::istringstream in(text);
    ReadPatch(path.c_str(), in);
    NamedAfterFile(path);
}

bool tSlot::LoadPatchFile(const std::string& path, std::string& error) {
    std::string text;
    if (!ReadPatchFile(path, text, error)) return false;
    ApplyPatchText(path, text);
    return true;
}

bool tSlot::SavePatchFile(const std::string& path, std::string& error) {
    const std::string file = ForceExtension(path, PatchExtension());
    std::ostringstream out;
    WritePatch(out);
    std::string reason;
    if (!WriteTextFile(file, out.str(), reason)) {
        error = "Can't write file " + file + " (" + reason + ")";
        return false;
    }
    NamedAfterFile(file);
    return true;
}

bool tSlot::LoadPatchFile(const std::string& path) {
    std::string error;
    if (LoadPatchFile(path, error)) return true;
    std::fprintf(stderr, "%s\n", error.c_str());
    return false;
}

bool tSlot::SavePatchFile(const std::string& path) {
    std::string error;
    if (SavePatchFile(path, error)) return true;
    std::fprintf(stderr, "%s\n", error.c_str());
    return false;
}

bool tSlot::KeepFinite(int n) {
    double* out = Output();
    if (AllFiniteValues(out, n)) return true;
    std::fill(out, out + n, 0.0);
    Reset();
    std::fill(out, out + n, 0.0);
    BlockSilenced();
    return false;
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
        if (input->OutputSilent()) continue;
        const double* out = input->Output();
        if (first) {
            std::copy(out, out + n, buffer);
            first = false;
        } else {
            AddInto(buffer, out, n);
        }
    }
    if (first && InputZeros() < n) std::fill(buffer, buffer + n, 0.0);
    mInputsSilent = first;
    Render(frames);
    if (!OutputSilent() && !OutputChecked()) KeepFinite(n);
}
