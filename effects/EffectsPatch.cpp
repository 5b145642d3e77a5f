#include "effects/EffectsPatch.h"

#include <cmath>
#include <istream>
#include <limits>
#include <ostream>

namespace {
constexpr int kFormat = 15;

// Reads one record into values: integers up to the -1, which is stored after them. Values
// beyond the buffer are read and dropped, so that the next record starts in the right place.
void ReadRecord(std::istream& in, int* values) {
    int n = 0;
    int v;
    while (in >> v && v != -1) {
        if (n < tEffectUnit::kRecordSize - 1) values[n++] = v;
    }
    values[n] = -1;
}

void WriteVolume(double volume, std::ostream& out) {
    if (volume == std::trunc(volume) && std::fabs(volume) <= std::numeric_limits<int>::max()) {
        out << static_cast<int>(volume);
        return;
    }
    const std::streamsize precision = out.precision(std::numeric_limits<double>::max_digits10);
    out << volume;
    out.precision(precision);
}
} // namespace

void ReadEffectsPatch(std::istream& in, tEffectsPatch& patch) {
    int format = 0;
    int ignored = 0;
    double volume = 0.0;
    // The volume may carry a decimal fraction; it is read as a number either way.
    patch.hasVolume = static_cast<bool>(in >> format >> ignored >> volume);
    patch.volume = patch.hasVolume ? volume : 0.0;
    for (int p = 0; p < tEffects::kChainLength; ++p) ReadRecord(in, patch.records[p]);
}

void ApplyEffectsPatch(tEffects& effects, const tEffectsPatch& patch) {
    if (patch.hasVolume) effects.Controls().top.outputVolume.SetRaw(patch.volume / 100.0);
    for (int p = 0; p < tEffects::kChainLength; ++p) {
        tEffectUnit* unit = effects.Unit(p);
        unit->setParams(patch.records[p]);
        unit->update();
    }
}

void ReadEffectsPatch(tEffects& effects, std::istream& in) {
    tEffectsPatch patch;
    ReadEffectsPatch(in, patch);
    ApplyEffectsPatch(effects, patch);
}

void CaptureEffectsPatch(const tEffects& effects, tEffectsPatch& patch) {
    patch.hasVolume = true;
    patch.volume = PatchInt(effects.Controls().top.outputVolume, 100.0);
    for (int p = 0; p < tEffects::kChainLength; ++p) effects.Unit(p)->getParams(patch.records[p]);
}

void WriteEffectsPatch(const tEffectsPatch& patch, std::ostream& out) {
    out << kFormat << '\n';
    out << "0 ";
    WriteVolume(patch.volume, out);
    out << '\n';
    for (int p = 0; p < tEffects::kChainLength; ++p) {
        const int* record = patch.records[p];
        for (int i = 0; i < tEffectUnit::kRecordSize; ++i) {
            out << record[i] << ' ';
            if (record[i] == -1) break;
        }
        out << '\n';
    }
}

void WriteEffectsPatch(const tEffects& effects, std::ostream& out) {
    tEffectsPatch patch;
    CaptureEffectsPatch(effects, patch);
    WriteEffectsPatch(patch, out);
}
