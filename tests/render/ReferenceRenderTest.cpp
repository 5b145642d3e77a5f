// Every preset rendered alone with the demo phrase at 44100 Hz, every module processing every
// block, must give exactly the samples recorded in tests/data/preset_checksums.txt: changes to
// the engine's inner loops, to its sample-rate handling or to the front ends may not move a
// single bit of the sound at 44100. With modules asleep while silent (the default) a sample may
// differ by one step where it lies on a rounding edge.
#include "RenderTool.h"

#include <gtest/gtest.h>

#include <cinttypes>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace {

std::uint64_t Fnv1a(const std::vector<std::int16_t>& samples) {
    std::uint64_t hash = 0xcbf29ce484222325ULL;
    for (const std::int16_t sample : samples) {
        const unsigned bits = static_cast<std::uint16_t>(sample);
        for (const unsigned byte : {bits & 0xffu, bits >> 8u & 0xffu}) {
            hash ^= byte;
            hash *= 0x100000001b3ULL;
        }
    }
    return hash;
}

struct tReference {
    std::string preset;
    int period = 0;
    std::string channels;
    std::string hash;
    std::size_t frames = 0;
};

std::vector<tReference> ReadReferences() {
    std::ifstream in(KELVORA_TEST_DATA "/preset_checksums.txt");
    std::vector<tReference> references;
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') continue;
        std::istringstream fields(line);
        tReference reference;
        fields >> reference.preset >> reference.period >> reference.channels >> reference.hash >>
            reference.frames;
        references.push_back(reference);
    }
    return references;
}

} // namespace

TEST(ReferenceRender, EveryPresetGivesItsRecordedSamplesAt44100) {
    const std::vector<tReference> references = ReadReferences();
    ASSERT_EQ(references.size(), 60u); // 15 presets, periods 16 and 128, mono and stereo
    const std::string dir = MakeTempDir();
    for (const tReference& reference : references) {
        const std::string args = "--preset " + reference.preset + " --period " +
                                 std::to_string(reference.period) +
                                 (reference.channels == "mono" ? " --mono" : "") + " --no-limiter";
        SCOPED_TRACE(args);
        ASSERT_EQ(RunRender(dir, args + " --no-sleep -o awake.wav").status, 0);
        ASSERT_EQ(RunRender(dir, args + " -o out.wav").status, 0);
        tWav wav;
        tWav asleep;
        ASSERT_TRUE(ReadWav(dir + "/awake.wav", wav));
        ASSERT_TRUE(ReadWav(dir + "/out.wav", asleep));
        EXPECT_EQ(wav.rate, 44100);
        EXPECT_EQ(wav.Frames(), reference.frames);
        char hash[17];
        std::snprintf(hash, sizeof hash, "%016" PRIx64, Fnv1a(wav.samples));
        EXPECT_EQ(hash, reference.hash);
        ASSERT_EQ(asleep.samples.size(), wav.samples.size());
        long differing = 0;
        for (std::size_t i = 0; i < wav.samples.size(); ++i) {
            const int step = std::abs(wav.samples[i] - asleep.samples[i]);
            EXPECT_LE(step, 1) << "sample " << i;
            differing += step != 0;
        }
        EXPECT_LT(differing, 50);
    }
    RemoveTree(dir);
}
