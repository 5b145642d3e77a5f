// Every preset rendered alone with the demo phrase at 44100 Hz must give exactly the samples
// recorded in tests/data/preset_checksums.txt: changes to the engine's inner loops, to its
// sample-rate handling or to the front ends may not move a single bit of the sound at 44100.
#include "RenderTool.h"

#include <gtest/gtest.h>

#include <cinttypes>
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
        const std::string args =
            "--preset " + reference.preset + " --period " + std::to_string(reference.period) +
            (reference.channels == "mono" ? " --mono" : "") + " --no-limiter -o out.wav";
        SCOPED_TRACE(args);
        ASSERT_EQ(RunRender(dir, args).status, 0);
        tWav wav;
        ASSERT_TRUE(ReadWav(dir + "/out.wav", wav));
        EXPECT_EQ(wav.rate, 44100);
        EXPECT_EQ(wav.Frames(), reference.frames);
        char hash[17];
        std::snprintf(hash, sizeof hash, "%016" PRIx64, Fnv1a(wav.samples));
        EXPECT_EQ(hash, reference.hash);
    }
    RemoveTree(dir);
}
