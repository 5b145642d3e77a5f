// The flute at other sample rates than 44100 Hz: the same notes with the same pitch, release,
// timbre and level, and a loop that stays bounded from 22050 to 192000 Hz.
#include "FluteRates.h"

#include <gtest/gtest.h>

#include <cmath>

TEST(FluteRates, NotesKeepPitchReleaseTimbreAndLevelAt48000And96000) {
    struct tNote {
        int caseIndex;
        int key;
    };
    // Both presets on A2, A3 and A4; the new module's patch with either voice type on A3.
    const tNote notes[] = {{0, 45}, {0, 57}, {0, 69}, {1, 45}, {1, 57}, {1, 69}, {2, 57}, {3, 57}};
    for (const tNote& note : notes) {
        const flutetest::tRateCase& c = flutetest::kRateCases[note.caseIndex];
        const ratetest::tNoteMeasures reference = flutetest::MeasureCase(c, note.key, 44100, 0.1);
        ASSERT_GT(reference.rms, -80.0) << c.name;
        for (int rate : {48000, 96000}) {
            SCOPED_TRACE(std::string(c.name) + " key " + std::to_string(note.key) + " at " +
                         std::to_string(rate));
            const ratetest::tNoteMeasures m = flutetest::MeasureCase(c, note.key, rate, 0.1);
            EXPECT_LT(std::fabs(ratetest::Cents(m.fundamental, reference.fundamental)), 1.0);
            EXPECT_NEAR(m.decay / reference.decay, 1.0, 0.05);
            EXPECT_NEAR(m.centroid / reference.centroid, 1.0, 0.05);
            EXPECT_NEAR(m.rms, reference.rms, 1.0);
        }
    }
}
