// A flute module with nothing to play sleeps through its blocks and wakes at the next note:
// the module and the rack render the same samples whether modules may sleep or not.
#include "catalog/PresetTexts.h"
#include "catalog/Presets.h"
#include "core/Rack.h"
#include "dsp/Random.h"
#include "flute/FluteSynth.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

namespace {

struct tPhrase {
    std::vector<double> mix;
    std::vector<double> flute; // the flute module's own output, read at every block
    int asleep = 0;            // blocks the flute module slept through
};

// Notes with silences between them, three notes a few milliseconds apart (the first fades out
// from the tail) and a short one, through the preset's whole rack (nullptr: a new module alone,
// default patch). Blocks of 100 frames end the 128-sample releases inside a block.
tPhrase RenderPhrase(const char* preset, int channels, int period, bool sleep) {
    tFluteSynth::AllowSleep(sleep);
    threadRandom.seed(1);
    tRack rack;
    rack.SetChannels(channels);
    if (preset != nullptr)
        AddPreset(rack, FindPreset(preset));
    else
        rack.Insert(new tFluteSynth(50, 45));
    tFluteSynth* flute = nullptr;
    {
        tRack::tGuard guard(rack);
        for (tSlot* slot : rack.Slots()) {
            slot->SwitchOn();
            if (auto* module = dynamic_cast<tFluteSynth*>(slot)) flute = module;
        }
    }
    rack.SetRendering(true);
    struct tEvent {
        long frame;
        int key; // negative: note-off of -key
    };
    const tEvent events[] = {{0, 60},      {13230, -60}, {26460, 64},  {26560, 67}, {26660, 71},
                             {44100, -71}, {57330, 72},  {57800, -72}, {80000, 0}};
    tPhrase phrase;
    std::size_t next = 0;
    for (long done = 0; done < 88200; done += period) {
        for (; next < std::size(events) && events[next].frame <= done; ++next) {
            if (events[next].key > 0) rack.NoteOn(0, events[next].key, 100);
            if (events[next].key < 0) rack.NoteOff(0, -events[next].key);
            if (events[next].key == 0) rack.AllNotesOff();
        }
        const double* mix = rack.Render(period);
        phrase.mix.insert(phrase.mix.end(), mix, mix + period * channels);
        phrase.flute.insert(phrase.flute.end(), flute->Output(),
                            flute->Output() + period * channels);
        if (flute->Asleep()) ++phrase.asleep;
    }
    tFluteSynth::AllowSleep(true);
    return phrase;
}

} // namespace

TEST(FluteSleep, SilentModuleSleepsAndRendersTheSameSamples) {
    for (const char* preset : {"Clarinet", "BrightFlute", static_cast<const char*>(nullptr)})
        for (int channels : {1, 2})
            for (int period : {16, 100}) {
                SCOPED_TRACE(testing::Message() << (preset ? preset : "default patch") << " "
                                                << channels << " channels, period " << period);
                const tPhrase awake = RenderPhrase(preset, channels, period, false);
                const tPhrase sleeping = RenderPhrase(preset, channels, period, true);
                EXPECT_EQ(awake.asleep, 0);
                // Most of the silences between the notes and after them are slept through.
                EXPECT_GT(sleeping.asleep * period, 30000);
                for (auto part : {&tPhrase::mix, &tPhrase::flute}) {
                    const std::vector<double>& a = awake.*part;
                    const std::vector<double>& b = sleeping.*part;
                    ASSERT_EQ(a.size(), b.size());
                    double peak = 0.0;
                    for (double x : a) peak = std::max(peak, std::fabs(x));
                    EXPECT_GT(peak, 0.01);
                    EXPECT_EQ(std::memcmp(a.data(), b.data(), a.size() * sizeof(double)), 0);
                }
            }
}
