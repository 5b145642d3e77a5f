// The PCM devices the tests play into, declared in an asoundrc written to a private temporary
// directory and selected with ALSA_CONFIG_PATH before the first ALSA call of the test program:
//   "kvnull"  discards everything;
//   "kvfile"  writes the raw S16_LE stream into OutputPath() (and plays it into kvnull);
//   "kvpipe"  writes it into PipePath(), a FIFO the test makes (and plays it into kvnull);
//   "kvlost"  takes 20 blocks, then is gone as an unplugged card is;
//   "kvxrun"  reports an underrun at every 10th block;
//   "kv48k"   offers 48000 Hz only.
// The system's own ALSA configuration is included, so the standard devices stay defined.
// Including this header registers the set-up with GoogleTest.
#pragma once

#include "core/TextFile.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <unistd.h>
#include <vector>

namespace alsatest {

constexpr const char* kNullDevice = "kvnull";
constexpr const char* kFileDevice = "kvfile";
constexpr const char* kPipeDevice = "kvpipe";
constexpr const char* kLostDevice = "kvlost";
constexpr const char* kUnderrunDevice = "kvxrun";
constexpr const char* k48kDevice = "kv48k";
constexpr int kLostAfterBlocks = 20;
constexpr int kUnderrunEvery = 10;

inline std::string& Directory() {
    static std::string directory;
    return directory;
}

// The file kvfile writes.
inline std::string OutputPath() {
    return Directory() + "/out.raw";
}

// Where kvpipe writes.
inline std::string PipePath() {
    return Directory() + "/pipe.fifo";
}

// Its contents as 16-bit little-endian samples.
inline std::vector<int16_t> ReadOutput() {
    std::string bytes;
    std::vector<int16_t> samples;
    if (!ReadTextFile(OutputPath(), bytes)) return samples;
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
        const unsigned lo = static_cast<unsigned char>(bytes[i]);
        const unsigned hi = static_cast<unsigned char>(bytes[i + 1]);
        samples.push_back(static_cast<int16_t>(lo | (hi << 8)));
    }
    return samples;
}

inline void RemoveOutput() {
    unlink(OutputPath().c_str());
}

class tAlsaEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        char dir[] = "/tmp/kelvora-alsa-XXXXXX";
        ASSERT_NE(mkdtemp(dir), nullptr);
        Directory() = dir;
        const std::string text = "<confdir:alsa.conf>\n"
                                 "pcm.kvnull { type null }\n"
                                 "pcm.kvfile {\n"
                                 "    type file\n"
                                 "    slave.pcm \"kvnull\"\n"
                                 "    file \"" +
                                 OutputPath() +
                                 "\"\n"
                                 "    format \"raw\"\n"
                                 "}\n"
                                 "pcm.kvpipe {\n"
                                 "    type file\n"
                                 "    slave.pcm \"kvnull\"\n"
                                 "    file \"" +
                                 PipePath() +
                                 "\"\n"
                                 "    format \"raw\"\n"
                                 "}\n"
#ifdef KELVORA_FAULT_DEVICE
                                 "pcm_type.kvfault { lib \"" KELVORA_FAULT_DEVICE "\" }\n"
                                 "pcm.kvlost { type kvfault lost_after 20 }\n"
                                 "pcm.kvxrun { type kvfault xrun_every 10 }\n"
                                 "pcm.kv48k { type kvfault rate 48000 }\n"
#endif
            ;
        ASSERT_TRUE(WriteTextFile(RcPath(), text));
        setenv("ALSA_CONFIG_PATH", RcPath().c_str(), 1);
    }
    void TearDown() override {
        RemoveOutput();
        unlink(PipePath().c_str());
        unlink(RcPath().c_str());
        rmdir(Directory().c_str());
    }

private:
    static std::string RcPath() {
        return Directory() + "/asoundrc";
    }
};

inline ::testing::Environment* const gEnvironment =
    ::testing::AddGlobalTestEnvironment(new tAlsaEnvironment);

} // namespace alsatest
