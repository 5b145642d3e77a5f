// Writing 16-bit PCM WAV files through libsndfile.
//
// The samples go to a temporary file beside the target, which replaces the target only when
// Close has finished it: a render that fails part-way (a full disk, a quota) leaves an
// existing file as it was and no partial file behind.
#pragma once

#include "core/ReplacementFile.h"

#include <cstdint>
#include <string>
#include <vector>

struct sf_private_tag;

class tWavWriter {
public:
    tWavWriter() = default;
    ~tWavWriter();
    tWavWriter(const tWavWriter&) = delete;
    tWavWriter& operator=(const tWavWriter&) = delete;

    // Starts the file, its header carrying the sample rate; false with a reason in error.
    bool Open(const std::string& path, int channels, int rate, std::string& error);
    // Appends frames x channels interleaved samples; false with a reason in error. Samples
    // are gathered and handed on in large pieces: a write's failure may be told by a later
    // Write or by Close.
    bool Write(const std::int16_t* samples, int frames, std::string& error);
    // Finishes the header and puts the file in place of the target; false with a reason in
    // error (the target then stays as it was).
    bool Close(std::string& error);

private:
    sf_private_tag* mFile = nullptr;
    tReplacementFile mTarget;
    std::string mPath;
    int mChannels = 0;
    std::vector<std::int16_t> mPending; // samples not yet handed to the file
    bool flush(std::string& error);
};
