// The bounded-output soak: every preset, and presets whose patch texts are damaged or pushed to
// their extremes, played through long sweeps of notes, controllers and pitch bend. Every
// module's output must stay finite and within +-1000 (full scale is 1), and every preset must
// fall silent within 10 s of all notes off.
//
// `make test` runs a short soak. KELVORA_SOAK=long (`make soak`) plays every case at length.
#include "SoakPatches.h"
#include "SoakRig.h"

#include "catalog/ModuleFactory.h"
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
    static const tScale longRun{100000, 1, 300, 60, 200, true, true};
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

} // namespace

TEST_P(PresetSoak, SweepsStayBoundedAndFallSilent) {
    const std::string label = Label(GetParam());
    for (int period : {128, 16}) {
        if (period == 16 && !Scale().bothPeriods && GetParam() % 3 != 0) continue;
        const std::string what = label + " sweep at " + std::to_string(period);
        tSoakRig rig(what, period);
        AddSoakPreset(rig.Rack(), tSoakPreset::Of(GetParam()));
        rig.SwitchAllOn(1);
        Sweep(rig, Scale().sweepBlocks * 128 / period / (period == 16 ? 4 : 1), Scale().valueStep);
        ASSERT_TRUE(rig.Ok()) << rig.Fault();
        EXPECT_TRUE(rig.FallsSilent()) << rig.Fault() << " (" << rig.SoundingSeconds() << " s)";
    }
}

// The same sweep with the engine at other rates: every model's constants taken to the rate
// must keep its loops bounded and its sound ending.
TEST_P(PresetSoak, SweepsAtOtherRatesStayBoundedAndFallSilent) {
    const std::string label = Label(GetParam());
    for (int rate : {48000, 96000}) {
        const std::string what = label + " sweep at " + std::to_string(rate) + " Hz";
        tSoakRig rig(what, 128, rate);
        AddSoakPreset(rig.Rack(), tSoakPreset::Of(GetParam()));
        rig.SwitchAllOn(1);
        Sweep(rig, Scale().sweepBlocks / 2, Scale().valueStep);
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
            tSoakRig rig(what, 128);
            AddSoakPreset(rig.Rack(), preset);
            rig.SwitchAllOn(1);
            rig.Controller(0, number, value);
            Phrase(rig, Scale().holdBlocks);
            if (!rig.Ok()) faults += rig.Fault() + "\n";
        }
        // Together: the channel mode messages first, then every other controller.
        const std::string what = label + " every controller held at " + std::to_string(value);
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

// The unit's "on" switches, by chain position.
std::vector<tControl*> UnitSwitches(tEffectsControls& c) {
    return {&c.distortion.on, &c.filter.on, &c.pmResonator.on, &c.resonator.on,
            &c.chorus.on,     &c.reverb.on, &c.delay.on};
}

// An effects module fed directly, as the rack feeds it: a tone with one NaN in it at a
// chosen block, then silence. The rack silences an instrument whose block is not finite, so
// only a direct feed reaches the units with a NaN.
class tNanFeed {
public:
    static constexpr int kPeriod = 128;

    tNanFeed(const std::string& text, int alone) {
        std::istringstream in(text);
        mEffects.ReadPatch("nan", in);
        if (alone >= 0) {
            std::vector<tControl*> switches = UnitSwitches(mEffects.Engine().Controls());
            for (std::size_t u = 0; u < switches.size(); ++u)
                switches[u]->Set(static_cast<int>(u) == alone ? 1.0 : 0.0);
        }
        mEffects.SetChannels(2);
        mEffects.Prepare();
        mEffects.SwitchOn();
    }
    ~tNanFeed() {
        tSoakCoverage& total = tSoakCoverage::Total();
        ++total.racks;
        total.blocks += mBlocks;
        total.seconds += static_cast<double>(mBlocks * kPeriod) / tSoakRig::kRate;
        total.peak = std::max(total.peak, mPeak);
    }

    // Blocks of the tone (or of silence); the NaN goes into the block numbered nanBlock.
    // Returns the output's peak, or a negative value when it left the bound.
    double Play(int blocks, bool tone, long nanBlock = -1) {
        double peak = 0.0;
        for (int b = 0; b < blocks; ++b, ++mBlocks) {
            double* buffer = mEffects.Output();
            for (int i = 0; i < kPeriod; ++i, ++mFrame)
                buffer[2 * i] = buffer[2 * i + 1] = tone ? 0.5 * std::sin(0.0313 * mFrame) : 0.0;
            if (mBlocks == nanBlock) buffer[kPeriod] = std::nan("");
            mEffects.rendered = false;
            mEffects.Render(kPeriod);
            for (int i = 0; i < 2 * kPeriod; ++i) {
                const double x = std::fabs(buffer[i]);
                if (!(x <= tSoakRig::kBound)) return -1.0;
                peak = std::max(peak, x);
            }
        }
        mPeak = std::max(mPeak, peak);
        return peak;
    }

private:
    tEffectsModule mEffects{160, 45};
    long mBlocks = 0;
    long mFrame = 0;
    double mPeak = 0.0;
};

} // namespace

// One NaN into the effects chain of every preset, and into each unit alone: the output stays
// bounded, the unit plays the tone again as it does without the NaN, and it falls silent
// within 10 s once the tone stops.
TEST(EffectsSoak, OneNanIntoEveryEffectsUnitIsForgotten) {
    std::set<std::string> texts;
    for (int index = 0; index < kPresetCount; ++index)
        if (PresetTable()[index].effects != nullptr) texts.insert(PresetTable()[index].effects);
    std::string faults;
    int textNumber = 0;
    for (const std::string& text : texts) {
        ++textNumber;
        for (int alone = -1; alone < 7; ++alone) {
            const std::string what =
                "effects text " + std::to_string(textNumber) + ", " +
                (alone < 0 ? std::string("whole chain") : "unit " + std::to_string(alone)) +
                " with one NaN";
            tNanFeed clean(text, alone);
            tNanFeed fed(text, alone);
            clean.Play(120, true);
            if (fed.Play(120, true, 20) < 0.0) {
                faults += what + ": the output is not finite or beyond the bound\n";
                continue;
            }
            const double cleanPeak = clean.Play(60, true);
            const double fedPeak = fed.Play(60, true);
            if (fedPeak < 0.0 || (cleanPeak > 1e-3 && fedPeak < 0.5 * cleanPeak))
                faults += what + ": plays the tone at " + std::to_string(fedPeak) + ", against " +
                          std::to_string(cleanPeak) + " without the NaN\n";
            fed.Play(10 * tSoakRig::kRate / tNanFeed::kPeriod - 172, false);
            const double tail = fed.Play(172, false); // the last half second of ten
            if (tail < 0.0 || tail >= tSoakRig::kSilence)
                faults += what + ": still sounds at " + std::to_string(tail) +
                          " 10 s after the tone stopped\n";
        }
    }
    EXPECT_EQ(faults, "");
}

namespace {
class tSoakSummary : public ::testing::Environment {
public:
    void TearDown() override {
        const tSoakCoverage& total = tSoakCoverage::Total();
        std::printf("Soak (%s): %d presets, %ld racks, %ld blocks (%.0f s of sound), "
                    "%ld MIDI events; peak module level %.4g (%s)\n",
                    LongSoak() ? "long" : "short", kPresetCount, total.racks, total.blocks,
                    total.seconds, total.events, total.peak,
                    total.peakWhere.substr(0, total.peakWhere.find('\n')).c_str());
    }
};
const auto* const kSummary = ::testing::AddGlobalTestEnvironment(new tSoakSummary);
} // namespace
