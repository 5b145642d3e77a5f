// Writing 16-bit PCM WAV files at 44100 Hz through libsndfile.
#pragma once

#include <cstdint>
#include <string>

struct sf_private_tag;

class tWavWriter {
public:
    tWavWriter() = default;
    ~tWavWriter();
    tWavWriter(const tWavWriter&) = delete;
    tWavWriter& operator=(const tWavWriter&) = delete;

    // Creates (or truncates) the file; false with a reason in error.
    bool Open(const std::string& path, int channels, std::string& error);
    // Appends frames x channels interleaved samples; false with a reason in error.
    bool Write(const std::int16_t* samples, int frames, std::string& error);
    // Finishes the header; false with a reason in error.
    bool Close(std::string& error);

private:
    sf_private_tag* mFile = nullptr;
    int mChannels = 0;
};
