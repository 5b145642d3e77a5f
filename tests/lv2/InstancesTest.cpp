// Many instances at once: each owns all its state, its noise included, and a host may create,
// run and destroy them in any number.
#include "Lv2Sound.h"

#include <gtest/gtest.h>

#include <memory>

namespace {

std::unique_ptr<tLv2Instance> WithPreset(const char* uri, const char* label) {
    auto plugin = std::make_unique<tLv2Instance>(uri, 44100);
    if (LilvState* preset = LoadPreset(label)) {
        plugin->Restore(preset);
        lilv_state_free(preset);
    }
    plugin->Activate();
    return plugin;
}

std::vector<tMidiAt> Notes(int block, int key) {
    if (block % 40 == 1) return {NoteOn(block % 128, key + block % 12)};
    if (block % 40 == 30) return {NoteOff(0, key + (block - 29) % 12)};
    return {};
}

} // namespace

TEST(Lv2Instances, TwoInstancesOnOneThreadNeverChangeEachOthersSound) {
    // Plucks draw noise for every note; the flute breathes noise all the time.
    auto alone = WithPreset("urn:kelvora:string", "CleanGtr");
    std::vector<float> expected;
    for (int block = 0; block < 200; ++block) alone->Run(128, Notes(block, 60), expected);

    auto first = WithPreset("urn:kelvora:string", "CleanGtr");
    auto second = WithPreset("urn:kelvora:flute", "BrightFlute");
    auto third = WithPreset("urn:kelvora:string", "CleanGtr");
    std::vector<float> played, other, same;
    for (int block = 0; block < 200; ++block) {
        second->Run(128, Notes(block, 70), other);
        first->Run(128, Notes(block, 60), played);
        third->Run(64, Notes(block, 60), same);
        third->Run(64, {}, same);
    }
    EXPECT_EQ(played, expected);
    double energy = 0.0;
    for (float v : other) energy += v * v;
    EXPECT_GT(energy, 1.0);
}

TEST(Lv2Instances, AHundredInstancesAreCreatedRunAndDestroyed) {
    const char* uris[] = {"urn:kelvora:string", "urn:kelvora:flute", "urn:kelvora:effects"};
    std::vector<std::unique_ptr<tLv2Instance>> plugins;
    for (int i = 0; i < 100; ++i) {
        plugins.push_back(std::make_unique<tLv2Instance>(uris[i % 3], i % 2 == 0 ? 44100 : 48000));
        ASSERT_TRUE(plugins.back()->Ok());
        plugins.back()->Activate();
    }
    const std::vector<float> input(2 * 300, 0.25f);
    for (int block = 0; block < 20; ++block) {
        for (int i = 0; i < 100; ++i) {
            std::vector<float> out;
            const bool effects = i % 3 == 2;
            plugins[i]->Run(300, Notes(block, 50 + i % 30), out,
                            effects ? input : std::vector<float>());
            for (float v : out) ASSERT_TRUE(std::isfinite(v));
        }
    }
    // Half of them go, the rest play on and go in the opposite order of their making.
    for (int i = 0; i < 100; i += 2) plugins[i].reset();
    for (int i = 99; i >= 0; --i) plugins[i].reset();
}
