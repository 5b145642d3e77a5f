#include "WavWriter.h"

#include <sndfile.h>

#include <cerrno>
#include <cstring>

namespace {
constexpr int kSampleRate = 44100;
}

tWavWriter::~tWavWriter() {
    if (mFile != nullptr) sf_close(mFile);
}

bool tWavWriter::Open(const std::string& path, int channels, std::string& error) {
    SF_INFO info{};
    info.samplerate = kSampleRate;
    info.channels = channels;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    errno = 0;
    mFile = sf_open(path.c_str(), SFM_WRITE, &info);
    if (mFile == nullptr) {
        error = "cannot write " + path + ": " +
                (errno != 0 ? std::strerror(errno) : sf_strerror(nullptr));
        return false;
    }
    mChannels = channels;
    return true;
}

bool tWavWriter::Write(const std::int16_t* samples, int frames, std::string& error) {
    const sf_count_t written = sf_writef_short(mFile, samples, frames);
    if (written != frames) {
        error = std::string("writing the sound file failed: ") + sf_strerror(mFile);
        return false;
    }
    return true;
}

bool tWavWriter::Close(std::string& error) {
    if (mFile == nullptr) return true;
    const int status = sf_close(mFile);
    mFile = nullptr;
    if (status != 0) {
        error = std::string("closing the sound file failed: ") + sf_error_number(status);
        return false;
    }
    return true;
}
