// The bounded-output soak: every preset, and presets whose patch texts are damaged or pushed to
// their extremes, played through long sweeps of notes, controllers and pitch bend. Every
// module's output must stay finite and within +-1000 (full scale is 1), and every preset must
// fall silent within 10 s of all notes off.
//
// `make test` runs a short soak. KELVORA_SOAK=long (`make soak`) plays every case at length.
#include "SoakPatches.h"
#include "SoakRig.h"

#include "app/ModuleFactory.h"
#include "effects/EffectsModule.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <set>
#include <sstream>

namespace {

bool LongSoak() {
    const char* mode = std::getenv("KELVORA_SOAK");
    return mode != nullptr && std::strcmp(mode, "long") == 0;
}

// How much of each case a run plays.
struct tScale {
    int sweepBlocks;   // blocks of the sweep per period
    int valueStep;     // controller values visited: 0, step, 2 step, ...
    int holdBlocks;    // blocks played while a controller is held
    int damagedTexts;  // damaged copies per preset text
    int extremeBlocks; // blocks played per extreme patch text
    bool everyHeld;    // every controller 0..127 alone, not only those the modules use
    bool bothPeriods;  // sweeps at 16 frames as well as 128
};

const tScale& Scale() {
    static const tScale shortRun{1200, 9, 24, 4, 16, false, false};
    static const tScale longRun{40000, 1, 400, 60, 300, true, true};
    return LongSoak() ? longRun : shortRun;
}

// Sweeps notes over the whole keyboard, every controller through its values, pitch bend
// through its range, at its ends and jumping end to end between and within blocks, with all
// notes off and channel changes on the way.
void Sweep(tSoakRig& rig, int blocks, int valueStep) {
    int counter = 0;
    int held[2] = {-1, -1};
    for (int b = 0; b < blocks && rig.Ok(); ++b) {
        const int ch = rig.Channel() - 1;
        if (b % 12 == 0) {
            const int voice = (b / 12) % 2;
            if (held[voice] >= 0) rig.NoteOff(ch, held[voice]);
            held[voice] = (b / 12 * 7 + (b / 3000) * 3) % 128; // every key, order shifting
            rig.NoteOn(ch, held[voice], 1 + (b * 13) % 127);
        }
        for (int e = 0; e < 4; ++e, ++counter) {
            const int number = counter % 128;
            const int value = std::min(127, (counter / 128 * valueStep) % (127 + valueStep));
            rig.Controller(ch, number, value);
        }
        switch (b % 8) {
        case 0:
            rig.Bend(ch, (b * 131) % 16384);
            break;
        case 2:
        case 5:
            rig.Bend(ch, 0);
            break;
        case 3:
        case 6:
            rig.Bend(ch, 16383);
            break;
        case 4: // end to end within one block's events
            rig.Bend(ch, 0);
            rig.Bend(ch, 16383);
            break;
        case 7:
            rig.Bend(ch, 16383);
            rig.Bend(ch, 0);
            break;
        default:
            break;
        }
        if (b % 500 == 499) rig.AllNotesOff(ch);
        if (b % 700 == 350) {
            // Notes on a channel nobody listens to, then the modules move channel.
            rig.NoteOn((ch + 5) % 16, 64, 100);
            rig.MoveToChannel(rig.Channel() % 16 + 1);
        }
        rig.Block();
    }
}

// A short phrase at the keyboard's ends with bend at both extremes.
void Phrase(tSoakRig& rig, int blocks) {
    const int ch = rig.Channel() - 1;
    const int keys[] = {60, 0, 127, 36, 96};
    for (int b = 0; b < blocks && rig.Ok(); ++b) {
        if (b % 6 == 0) rig.NoteOn(ch, keys[(b / 6) % 5], b % 12 == 0 ? 127 : 1);
        if (b % 6 == 4) rig.NoteOff(ch, keys[(b / 6) % 5]);
        if (b % 5 == 2) rig.Bend(ch, b % 10 == 2 ? 0 : 16383);
        rig.Block();
    }
}

std::string Label(int index) {
    return PresetTable()[index].label;
}

class PresetSoak : public ::testing::TestWithParam<int> {};

std::string PresetName(const ::testing::TestParamInfo<int>& info) {
    return Label(info.param);
}

// Cases that run away or latch on today's engine, each named by a part of its description,
// with the reason. They are played when KELVORA_SOAK_PENDING=1 and in the long soak; the rest
// must pass everywhere.
const std::vector<std::pair<const char*, const char*>>& PendingCases() {
    static const std::vector<std::pair<const char*, const char*>> pending = {
        // One non-finite sample latches in every effects unit (the comb reverb for ever).
        {"with one NaN", "a unit does not treat a non-finite input as silence"},
        // Patch texts can hold values no slider reaches; gains and loop coefficients take
        // them unlimited: "output volume" 404 gives 1e58, resonator bands 202 give 1e85,
        // "efx vol." 101 gives 1e42, string "LFO ampl." 101 gives 1e39, flute "volume" 505
        // gives 1e63, reverb room size and damping and delay feedback grow without bound.
        {"(beyond)", "values beyond the sliders are not limited where they are used"},
        {"SynBass damaged", "a resonator volume of 2147483647 / 100 gives NaN"},
        {"TekBass damaged", "a PM resonator \"efx vol.\" of 99999999 / 100 gives NaN"},
        // The PM resonator's polynomial runs away under loud input (string slope "+24 dB",
        // resonance 1, the flute's breath and bore at full).
        {"SynPiano controller 20 held at 127", "the PM resonator runs away (6e6)"},
        {"Epiano controller 20 held at 127", "the PM resonator runs away (2.9e3)"},
        {"PickBass controller 20 held at 127", "the PM resonator runs away (1.6e4)"},
        {"DistGtr controller 18 held at 127", "string output filter at resonance 1: 1032"},
        {"BrightFlute controller", "the flute loop blows up (1.8e8) with breath or bore at 127"},
        {"BrightFlute, flute control 13 \"filter follows note\" at 4 (end)",
         "breath filter \"usr2\": the effects unit behind the flute reaches 1.6e5"},
        // Sweeps: pitch bend jumps lengthen the delay lines faster than their rings allow,
        // loud strings drive the PM resonator beyond its stable range.
        {"CleanGtr sweep", "the string module reaches 1234 at period 16"},
        {"SynCello sweep", "the effects unit reaches 2443"},
        {"Organ sweep", "the effects unit reaches 1477 at period 16"},
        {"Epiano sweep", "the string module reaches 1059 at period 16"},
        {"PickBass sweep", "the effects unit reaches 1371"},
        {"SynBass sweep", "the effects unit reaches 5596 at period 16"},
        {"AnalogTom sweep", "the string module reaches 3278 at period 16"},
        {"BrightFlute sweep", "the flute's jet delay outgrows its ring: 1e4 and beyond"},
    };
    return pending;
}

long gPendingSkipped = 0;

bool Pending(const std::string& what) {
    const char* all = std::getenv("KELVORA_SOAK_PENDING");
    if (LongSoak() || (all != nullptr && std::strcmp(all, "1") == 0)) return false;
    for (const auto& entry : PendingCases())
        if (what.find(entry.first) != std::string::npos) {
            ++gPendingSkipped;
            return true;
        }
    return false;
}

} // namespace

TEST_P(PresetSoak, SweepsStayBoundedAndFallSilent) {
    const std::string label = Label(GetParam());
    for (int period : {128, 16}) {
        if (period == 16 && !Scale().bothPeriods && GetParam() % 3 != 0) continue;
        const std::string what = label + " sweep at " + std::to_string(period);
        if (Pending(what)) continue;
        tSoakRig rig(what, period);
        AddSoakPreset(rig.Rack(), tSoakPreset::Of(GetParam()));
        rig.SwitchAllOn(1);
        Sweep(rig, Scale().sweepBlocks * 128 / period / (period == 16 ? 4 : 1), Scale().valueStep);
        ASSERT_TRUE(rig.Ok()) << rig.Fault();
        EXPECT_TRUE(rig.FallsSilent()) << rig.Fault() << " (" << rig.SoundingSeconds() << " s)";
    }
}

TEST_P(PresetSoak, ControllersHeldAtZeroAndFullStayBounded) {
    const std::string label = Label(GetParam());
    std::vector<int> numbers;
    for (int n = 0; n < 128; ++n)
        if (Scale().everyHeld || n == 1 || n == 2 || n == 7 || n == 10 || (n >= 11 && n <= 26) ||
            n == 64)
            numbers.push_back(n);
    const tSoakPreset preset = tSoakPreset::Of(GetParam());
    std::string faults;
    for (int value : {0, 127}) {
        for (int number : numbers) {
            const std::string what = label + " controller " + std::to_string(number) + " held at " +
                                     std::to_string(value);
            if (Pending(what)) continue;
            tSoakRig rig(what, 128);
            AddSoakPreset(rig.Rack(), preset);
            rig.SwitchAllOn(1);
            rig.Controller(0, number, value);
            Phrase(rig, Scale().holdBlocks);
            if (!rig.Ok()) faults += rig.Fault() + "\n";
        }
        // Together: the channel mode messages first, then every other controller.
        const std::string what = label + " every controller held at " + std::to_string(value);
        if (Pending(what)) continue;
        tSoakRig rig(what, 128);
        AddSoakPreset(rig.Rack(), preset);
        rig.SwitchAllOn(1);
        for (int number : {121, 120, 123, 124, 125, 126, 127, 122})
            rig.Controller(0, number, value);
        for (int number = 0; number < 120; ++number) rig.Controller(0, number, value);
        Phrase(rig, Scale().holdBlocks * 8);
        if (rig.Ok() && !rig.FallsSilent())
            faults += rig.Fault() + " (" + std::to_string(rig.SoundingSeconds()) + " s)\n";
        if (!rig.Ok()) faults += rig.Fault() + "\n";
    }
    EXPECT_EQ(faults, "");
}

TEST_P(PresetSoak, DamagedPatchTextsStayBounded) {
    const std::string label = Label(GetParam());
    std::mt19937 random(1000u + static_cast<unsigned>(GetParam()));
    const tSoakPreset preset = tSoakPreset::Of(GetParam());
    std::string faults;
    for (int round = 0; round < Scale().damagedTexts; ++round) {
        for (int type : {kEffectsModule, kStringModule, kFluteModule}) {
            tSoakPreset damaged = preset;
            if (damaged.TextOf(type).empty()) continue;
            damaged.TextOf(type) = DamagedText(preset.TextOf(type), random);
            const std::string what =
                label + " damaged text " + std::to_string(round) + ":" + std::to_string(type);
            if (Pending(what)) continue;
            tSoakRig rig(what, 128);
            AddSoakPreset(rig.Rack(), damaged);
            rig.SwitchAllOn(1);
            Sweep(rig, Scale().extremeBlocks * 4, 17);
            if (!rig.Ok())
                faults += rig.Fault() + " with the text:\n" + damaged.TextOf(type) + "\n";
        }
    }
    EXPECT_EQ(faults, "");
}

// Every field of every module's text at its control's ends and far beyond, one at a time,
// and every number of the text replaced by huge ones (fields no control shows included).
TEST_P(PresetSoak, PatchFieldsAtTheirEndsAndBeyondStayBounded) {
    const std::string label = Label(GetParam());
    const tSoakPreset preset = tSoakPreset::Of(GetParam());
    struct tCase {
        std::string field;
        tSoakPreset texts;
    };
    std::vector<tCase> cases;
    const char* const kTypeNames[] = {"", "string", "flute", "effects"};
    for (int type : {kEffectsModule, kStringModule, kFluteModule}) {
        const std::string& base = preset.TextOf(type);
        if (base.empty()) continue;
        const std::unique_ptr<tSlot> module = CreateModule(type, 0, 0);
        const std::vector<tControl*> controls = PatchControls(*module);
        for (std::size_t i = 0; i < controls.size(); ++i) {
            // The short soak spreads the fields over the presets.
            if (!LongSoak() && (i + static_cast<std::size_t>(GetParam())) % 3 != 0) continue;
            const std::vector<double> values = EndsAndBeyond(*controls[i]);
            for (std::size_t v = 0; v < values.size(); ++v) {
                tSoakPreset extreme = preset;
                extreme.TextOf(type) = TextWithField(type, base, i, values[v]);
                std::ostringstream field;
                field << kTypeNames[type] << " control " << i << " \"" << controls[i]->Label()
                      << "\" at " << values[v] << (v < 2 ? " (end)" : " (beyond)");
                cases.push_back({field.str(), extreme});
            }
        }
        std::ostringstream written;
        {
            std::istringstream in(base);
            const std::unique_ptr<tSlot> plain = CreateModule(type, 0, 0);
            plain->ReadPatch("plain", in);
            plain->WritePatch(written);
        }
        const std::string text = written.str();
        const auto tokens = NumberTokens(text);
        for (std::size_t t = 0; t < tokens.size(); ++t) {
            if (!LongSoak() && (t + static_cast<std::size_t>(GetParam())) % 5 != 0) continue;
            for (const char* huge : {"-1000000", "1000000", "1e300"}) {
                tSoakPreset extreme = preset;
                extreme.TextOf(type) =
                    std::string(text).replace(tokens[t].first, tokens[t].second, huge);
                cases.push_back({std::string(kTypeNames[type]) + " number " + std::to_string(t) +
                                     " at " + huge + " (beyond)",
                                 extreme});
            }
        }
    }
    std::string faults;
    for (const tCase& extreme : cases) {
        if (Pending(label + ", " + extreme.field)) continue;
        tSoakRig rig(label + ", " + extreme.field, 128);
        AddSoakPreset(rig.Rack(), extreme.texts);
        rig.SwitchAllOn(1);
        Phrase(rig, Scale().extremeBlocks);
        if (!rig.Ok()) faults += rig.Fault() + "\n";
    }
    EXPECT_EQ(faults, "");
}

INSTANTIATE_TEST_SUITE_P(EveryPreset, PresetSoak, ::testing::Range(0, kPresetCount), PresetName);

namespace {

// Plays a tone into an effects unit, with one NaN at a chosen block.
class tNanSource : public tSlot {
public:
    explicit tNanSource(long nanBlock) : tSlot(kStringModule, 50, 45, false), mNanBlock(nanBlock) {}
    void ReadPatch(const char*, std::istream&) override {}
    void WritePatch(std::ostream&) override {}
    const char* PatchExtension() const override { return ".pst"; }
    std::string Title() const override { return "tone"; }
    void AllNotesOff() override { mSilent = true; }
    void Controller(int, int, int) override {}
    void NoteOff(int) override {}
    void NoteOn(int, int) override {}
    void SetPan(int) override {}
    void SetChannels(int n) override { mChannels = n; }
    void Prepare() override {}
    void Render(int frames) override {
        for (int i = 0; i < frames; ++i, ++mFrame)
            for (int c = 0; c < mChannels; ++c)
                mOut[i * mChannels + c] = mSilent ? 0.0 : 0.5 * std::sin(0.0313 * mFrame);
        if (mBlock++ == mNanBlock) mOut[frames / 2 * mChannels] = std::nan("");
        rendered = true;
    }
    double* Output() override { return mOut; }
    bool IsActive() override { return true; }

private:
    long mNanBlock;
    long mBlock = 0;
    long mFrame = 0;
    bool mSilent = false;
    int mChannels = 1;
    double mOut[1024] = {};
};

// The unit's "on" switches, by chain position.
std::vector<tControl*> UnitSwitches(tEffectsControls& c) {
    return {&c.distortion.on, &c.filter.on, &c.pmResonator.on, &c.resonator.on,
            &c.chorus.on,     &c.reverb.on, &c.delay.on};
}

// Peak of the effects unit over a number of blocks.
double EffectsPeak(tSoakRig& rig, tSlot& effects, int blocks) {
    double peak = 0.0;
    for (int b = 0; b < blocks && rig.Block(); ++b)
        for (int i = 0; i < rig.Period() * 2; ++i)
            peak = std::max(peak, std::fabs(effects.Output()[i]));
    return peak;
}

} // namespace

// One NaN into the effects chain of every preset, and into each unit alone: the output stays
// bounded, the unit plays again once the tone goes on, and it falls silent when it stops.
TEST(EffectsSoak, OneNanIntoEveryEffectsUnitIsForgotten) {
    std::set<std::string> texts;
    for (int index = 0; index < kPresetCount; ++index)
        if (PresetTable()[index].effects != nullptr) texts.insert(PresetTable()[index].effects);
    long unitCases = 0;
    const long pendingBefore = gPendingSkipped;
    std::string faults;
    int textNumber = 0;
    for (const std::string& text : texts) {
        ++textNumber;
        for (int alone = -1; alone < 7; ++alone) {
            double peaks[2] = {0.0, 0.0};
            int played = 0;
            for (int withNan : {0, 1}) {
                const std::string what =
                    "effects text " + std::to_string(textNumber) + ", " +
                    (alone < 0 ? std::string("whole chain") : "unit " + std::to_string(alone)) +
                    (withNan ? " with one NaN" : " without NaN");
                if (Pending(what)) continue;
                tSoakRig rig(what, 128);
                auto* effects = new tEffectsModule(160, 45);
                std::istringstream in(text);
                effects->ReadPatch("nan", in);
                if (alone >= 0) {
                    std::vector<tControl*> switches = UnitSwitches(effects->Engine().Controls());
                    for (std::size_t u = 0; u < switches.size(); ++u)
                        switches[u]->Set(static_cast<int>(u) == alone ? 1.0 : 0.0);
                }
                rig.Rack().Insert(effects);
                auto* source = new tNanSource(withNan ? 20 : -1);
                rig.Rack().Connect(source, effects);
                rig.Rack().Insert(source);
                rig.SwitchAllOn(1);
                if (alone >= 0) effects->Engine().Controls().top.allEffectsOff.Set(0.0);
                EffectsPeak(rig, *effects, 20);
                EffectsPeak(rig, *effects, 100); // the NaN arrives
                peaks[withNan] = EffectsPeak(rig, *effects, 60);
                if (rig.Ok() && withNan) rig.FallsSilent();
                if (!rig.Ok()) faults += rig.Fault() + "\n";
                ++unitCases;
                ++played;
            }
            // After the NaN the unit plays the tone as loud as it does without one.
            if (played == 2 && peaks[0] > 1e-3 && peaks[1] < 0.5 * peaks[0])
                faults += "effects text " + std::to_string(textNumber) + ", unit " +
                          std::to_string(alone) + " does not play again after a NaN: peak " +
                          std::to_string(peaks[1]) + " against " + std::to_string(peaks[0]) + "\n";
        }
    }
    EXPECT_EQ(faults, "");
    EXPECT_EQ(unitCases + gPendingSkipped - pendingBefore, static_cast<long>(texts.size()) * 16);
}

namespace {
class tSoakSummary : public ::testing::Environment {
public:
    void TearDown() override {
        const tSoakCoverage& total = tSoakCoverage::Total();
        std::printf("Soak (%s): %d presets, %ld racks, %ld blocks (%.0f s of sound at 44.1 kHz), "
                    "%ld MIDI events; peak module level %.4g (%s)\n",
                    LongSoak() ? "long" : "short", kPresetCount, total.racks, total.blocks,
                    static_cast<double>(total.frames) / tSoakRig::kRate, total.events, total.peak,
                    total.peakWhere.substr(0, total.peakWhere.find('\n')).c_str());
        if (gPendingSkipped > 0)
            std::printf("Soak: %ld cases pending a mend were not played "
                        "(KELVORA_SOAK_PENDING=1 plays them)\n",
                        gPendingSkipped);
    }
};
const auto* const kSummary = ::testing::AddGlobalTestEnvironment(new tSoakSummary);
} // namespace
