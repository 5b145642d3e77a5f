// The string module at the ends of its controls: values from patch texts beyond the sliders,
// controllers that reach below them, and floods of the most expensive note-ons.
#include "StringTestUtil.h"

#include "catalog/PresetTexts.h"
#include "core/KeyFrequency.h"
#include "core/Rack.h"
#include "dsp/Random.h"
#include "string/StringModule.h"
#include "string/StringVoice.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <ctime>
#include <memory>
#include <sstream>
#include <string>

using namespace stringtest;

namespace {

std::unique_ptr<tStringModule> PlayingModule() {
    auto module = std::make_unique<tStringModule>(0, 0);
    module->SwitchOn();
    return module;
}

double Peak(const std::vector<double>& x) {
    double peak = 0.0;
    for (double v : x) peak = std::isfinite(v) ? std::max(peak, std::fabs(v)) : INFINITY;
    return peak;
}

// One note with the tremolo at "LFO ampl." amount, rendered from the same noise (the noise
// sources draw their first value when the voices are built).
std::vector<double> TremoloNote(double amount) {
    threadRandom.seed(1);
    auto m = PlayingModule();
    m->Controls().output.lfoAmpl.SetRaw(amount);
    m->Controls().output.lfoFreq.Set(5.0);
    m->NoteOn(45, 100);
    return RenderFrames(*m, 44100);
}

// The longest string, the longest pre-roll, four loop filters recomputed every 50 samples.
void MostExpensive(tStringControls& c) {
    c.top.voices.Set(11); // "24"
    c.output.silence.Set(10.0);
    c.energy.filterOrder.Set(3);
    c.energy.filterFollows.Set(1);
    c.energy.filterAttack.Set(200.0);
    c.energy.fixedTime.Set(0);
    c.wave.type.Set(10); // "metal"
    c.randomFilter.pink.Set(1);
}

int Sounding(tStringModule& m) {
    int n = 0;
    for (int i = 0; i < tStringSynth::kVoiceSlots; ++i) n += m.Engine().Slot(i).voice->isSounding();
    return n;
}

double ThreadSeconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + now.tv_nsec * 1e-9;
}

} // namespace

TEST(StringBounds, LfoAmplitudeFromAPatchSoundsWithinItsSliderRange) {
    const std::vector<double> top = TremoloNote(1.0);
    const std::vector<double> none = TremoloNote(0.0);
    ASSERT_LT(Peak(top), 2.0);
    for (double amount : {20.0, 709.8, 1e6}) {
        EXPECT_EQ(TremoloNote(amount), top) << amount;
    }
    EXPECT_EQ(TremoloNote(-40.0), none);

    // The stored value is kept: a patch written after loading it holds it again.
    auto m = PlayingModule();
    m->Controls().output.lfoAmpl.SetRaw(800.0);
    std::ostringstream text;
    m->WritePatch(text);
    auto loaded = PlayingModule();
    std::istringstream in(text.str());
    loaded->ReadPatch("lfo", in);
    EXPECT_EQ(loaded->Controls().output.lfoAmpl.Value(), 800.0);
}

TEST(StringBounds, Controller17FollowsItsLawBelowTheSlider) {
    auto m = PlayingModule();
    tStringControls& c = m->Controls();
    c.top.midiController.Set(1);
    c.outputFilter.slope.Set(2); // "12 dB"
    for (int v : {0, 3, 6, 64, 127}) {
        m->Controller(0, 17, v);
        EXPECT_DOUBLE_EQ(c.outputFilter.frequency.Value(), 0.05 + v * 0.07834645669291339) << v;
    }
    // The lowest setting reaches the sound: a darker note than the slider's lowest gives.
    auto note = [&](int controller) {
        if (controller >= 0) {
            m->Controller(0, 17, controller);
        } else {
            c.outputFilter.frequency.Set(0.5);
        }
        m->AllNotesOff();
        threadRandom.seed(1);
        m->NoteOn(60, 100);
        const std::vector<double> x = RenderFrames(*m, 8192);
        return Rms(x, 0, x.size());
    };
    EXPECT_LT(note(0), 0.8 * note(-1));
}

// The set-up of a note spread over many small budgets sounds exactly like one done at once.
TEST(StringNoteOnWork, PreparationInPartsSoundsAsPreparedAtOnce) {
    auto play = [](bool inParts) {
        threadRandom.seed(1);
        tStringVoice v;
        v.setOrder(4);
        v.setLoopFollow(1);
        v.setLoopFrequency(7.0);
        v.setStartFrequency(1.0);
        v.setFilterAttack(40.0);
        v.setSoftDamp(1);
        v.setOffDelay(3.0);
        v.setOffFeedback(0.99);
        v.setWaveType(tStringVoice::kMetal);
        v.setPink(1);
        v.setSilence(10);
        v.setOutputSlope(3);
        v.setEnvMode(1);
        v.setEnvelope(1.0, 0.5, 2000, 2000);
        if (inParts) {
            v.startNote(KeyFrequency(3), 2.0, 3);
            int calls = 0;
            while (v.isPreparing()) {
                EXPECT_GT(v.prepare(997), 0);
                ++calls;
            }
            EXPECT_GT(calls, 40);
        } else {
            v.noteOn(KeyFrequency(3), 2.0, 3);
        }
        std::vector<double> out;
        for (int i = 0; i < 30000; ++i) out.push_back(v.tick());
        return out;
    };
    const std::vector<double> atOnce = play(false);
    EXPECT_GT(Rms(atOnce, 0, atOnce.size()), 1e-3);
    EXPECT_EQ(play(true), atOnce);
}

TEST(StringNoteOnWork, AFloodOfExtremeNotesIsSpreadOverBlocks) {
    auto m = PlayingModule();
    m->SetChannels(2);
    m->SetPolyphony(24);

    // Ordinary notes all sound in the block they were struck for.
    for (int k = 0; k < 24; ++k) m->NoteOn(36 + k, 100);
    m->Render(128);
    EXPECT_EQ(Sounding(*m), 24);
    MostExpensive(m->Controls());

    // 24 notes at key 0: no block (the notes struck at its start and its render call) does
    // more than a small part of their preparation, and all of them sound within 90 ms.
    double worstShare = 1.0;
    for (int trial = 0; trial < 3; ++trial) {
        m->AllNotesOff();
        m->Render(128);
        const double start = ThreadSeconds();
        for (int k = 0; k < 24; ++k) m->NoteOn(0, 127);
        m->Render(128);
        double worst = ThreadSeconds() - start;
        int blocks = 1;
        EXPECT_LT(Sounding(*m), 24);
        while (Sounding(*m) < 24 && blocks < 1000) {
            const double blockStart = ThreadSeconds();
            m->Render(128);
            worst = std::max(worst, ThreadSeconds() - blockStart);
            ++blocks;
        }
        const double total = ThreadSeconds() - start;
        EXPECT_LE(blocks, 30);
        worstShare = std::min(worstShare, worst / total);
    }
    EXPECT_LT(worstShare, 0.25);

    // One such note sounds a block or two late.
    m->AllNotesOff();
    m->Render(128);
    m->NoteOn(0, 127);
    int blocks = 0;
    while (Sounding(*m) == 0 && blocks < 10) {
        m->Render(128);
        ++blocks;
    }
    EXPECT_LE(blocks, 2);
}

TEST(StringNoteOnWork, NotesReleasedOrStolenWhilePreparing) {
    auto m = PlayingModule();
    MostExpensive(m->Controls());
    m->Controls().top.voices.Set(0); // "2"
    m->Controls().output.release.Set(0.0);
    // Both voices have played for two seconds before.
    m->NoteOn(60, 100);
    m->NoteOn(61, 100);
    RenderFrames(*m, 88200);
    m->AllNotesOff();

    // On two voices the third note takes the first one's while that still prepares, the
    // fourth the third's; a note off while preparing releases the note once it sounds.
    m->NoteOn(0, 127);
    m->NoteOn(1, 127);
    m->NoteOn(2, 127);
    EXPECT_EQ(m->Engine().Slot(0).key, 2);
    m->NoteOn(3, 127);
    EXPECT_EQ(m->Engine().Slot(1).key, 3);
    EXPECT_TRUE(m->Engine().Slot(1).voice->isPreparing());
    m->NoteOff(3);
    EXPECT_EQ(m->Engine().Slot(1).key, -1);
    int blocks = 0;
    while (Sounding(*m) < 2 && blocks < 100) {
        m->Render(128);
        ++blocks;
    }
    ASSERT_EQ(Sounding(*m), 2);
    EXPECT_EQ(m->Engine().Slot(0).voice->note(), 2);
    EXPECT_EQ(m->Engine().Slot(1).voice->note(), 3);
    // Released: it ends one period of release and its ten periods of silence after it
    // sounds (1.1 s at key 3), while the held note sounds on.
    RenderFrames(*m, 66150);
    EXPECT_FALSE(m->Engine().Slot(1).voice->isSounding());
    EXPECT_TRUE(m->Engine().Slot(0).voice->isSounding());
}

namespace {

// A voice at the ends of its output filter: resonance 1, "+24 dB", "tscheby".
tStringVoice ResonantVoice(double feedback) {
    tStringVoice v;
    v.setSampleRate(44100);
    v.setFeedback(feedback);
    v.setOutputSlope(7);
    v.setOutputKind(3);
    v.setResonance(11.0);
    v.setVolume(1.0);
    v.setCutoff(5.0, 0);
    v.noteOn(110.0, 0.1, 45);
    return v;
}

// Peak of n frames rendered in blocks of `frames`, the cutoff jumping between its ends before
// every block when swing is set (infinity for a value that is not a number).
double VoicePeak(tStringVoice& v, int n, int frames, bool swing) {
    std::vector<double> block(static_cast<std::size_t>(frames));
    double peak = 0.0;
    for (int done = 0; done < n; done += frames) {
        if (swing) v.setCutoff((done / frames) % 2 == 0 ? 0.0 : 10.0, frames);
        v.render(block.data(), frames, 1, 1.0, 1.0, false);
        peak = std::max(peak, Peak(block));
    }
    return peak;
}

} // namespace

// The output filter's state cannot pump itself up when its cutoff swings end to end every
// few samples, and the loop cannot grow with a feedback above 1.
TEST(StringBounds, OutputFilterAndLoopStayBoundedAtTheirEnds) {
    tStringVoice swung = ResonantVoice(0.999);
    EXPECT_LE(VoicePeak(swung, 10 * 44100, 16, true), 1e4);
    tStringVoice steady = ResonantVoice(0.999);
    EXPECT_GT(VoicePeak(steady, 44100, 16, false), 0.5); // the bound leaves ordinary sound

    tStringVoice growing = ResonantVoice(1.01);
    growing.setOutputSlope(0);
    EXPECT_LE(VoicePeak(growing, 20 * 44100, 128, false), 100.0);
    EXPECT_TRUE(growing.isSounding());
}

// A loud preset at the ends of its sliders approaches the module's ceiling and never passes it.
TEST(StringBounds, ModuleOutputStaysBelowTheCeiling) {
    auto m = PlayingModule();
    std::istringstream text(PresetTable()[FindPreset("DistGtr")].string);
    m->ReadPatch("DistGtr", text);
    tStringControls& c = m->Controls();
    c.output.volume.Set(5.0);
    c.outputFilter.resonance.Set(1.0);
    // Keys at both ends struck hard while pitch bend jumps end to end.
    double peak = 0.0;
    threadRandom.seed(1);
    for (int b = 0; b < 600; ++b) {
        if (b % 6 == 0) m->NoteOn(b % 12 == 0 ? 0 : 127, 127);
        if (b % 5 == 2) m->Controller(0, -1, b % 10 == 2 ? 0 : 16383);
        peak = std::max(peak, Peak(RenderFrames(*m, 128)));
    }
    EXPECT_LE(peak, 1000.0);
    EXPECT_GT(peak, 500.0);
}

// Eight modules on one channel share the rack's budget: a chord of expensive notes starts a
// note or two per block across the whole rack, every note in the order it came (note by note,
// module by module); a full queue of note-ons and then note-offs is delivered as the budget
// allows, no block spending more than its share and the work of one more event, none lost.
TEST(StringNoteOnWork, ModulesInARackShareItsBudgetAndKeepTheNotesInOrder) {
    constexpr int kModules = 8;
    tRack rack;
    rack.SetChannels(2);
    std::vector<tStringModule*> modules;
    for (int m = 0; m < kModules; ++m) {
        modules.push_back(new tStringModule(0, 0));
        rack.Insert(modules.back());
        tRack::tGuard guard(rack);
        MostExpensive(modules.back()->Controls());
        modules.back()->SwitchOn();
    }
    rack.SetRendering(true);
    const tWorkBudget& budget = rack.Budget();
    const int overdraft = kModules * tStringSynth::kNoteOnUnits + 512;
    auto renderChecked = [&] {
        rack.Render(128);
        EXPECT_LE(budget.Spent(), budget.UnitsPerFrame() * 128 + overdraft);
    };

    for (int k = 0; k < 8; ++k) rack.NoteOn(0, 24 + k, 127);
    std::vector<int> soundingFrom(8 * kModules, -1); // by arrival: note, then module
    for (int block = 0, started = 0; started < 8 * kModules && block < 2000; ++block) {
        renderChecked();
        int newly = 0;
        for (int m = 0; m < kModules; ++m)
            for (int i = 0; i < 8; ++i) {
                const tStringSynth::tVoiceSlot& slot = modules[m]->Engine().Slot(i);
                int& from = soundingFrom[(slot.key - 24) * kModules + m];
                if (slot.voice->isSounding() && from < 0) {
                    from = block;
                    ++newly;
                }
            }
        EXPECT_LE(newly, 2) << block;
        started += newly;
    }
    EXPECT_TRUE(std::is_sorted(soundingFrom.begin(), soundingFrom.end()));
    EXPECT_GE(soundingFrom.front(), 0);

    rack.AllNotesOff();
    const int notes = tEventQueue::kCapacity - tStringSynth::kVoiceSlots - 1;
    for (int k = 0; k < notes; ++k) rack.NoteOn(0, k % 24, 127);
    for (int k = 0; k < 24; ++k) rack.NoteOff(0, k);
    int blocks = 0;
    for (; rack.WaitingEvents() > 0 && blocks < 2000; ++blocks) renderChecked();
    EXPECT_GT(blocks, 4);
    EXPECT_EQ(rack.DroppedEvents(), 0u);
    for (tStringModule* module : modules)
        for (int i = 0; i < tStringSynth::kVoiceSlots; ++i)
            EXPECT_EQ(module->Engine().Slot(i).key, -1);
    rack.SetRendering(false);
}
