#include "WavWriter.h"

#include <sndfile.h>

#include <cerrno>
#include <cstring>

namespace {
// Samples gathered before they go to the file (a few hundred milliseconds of sound).
constexpr std::size_t kPendingSamples = 32768;
} // namespace

tWavWriter::~tWavWriter() {
    if (mFile != nullptr) sf_close(mFile);
}

bool tWavWriter::Open(const std::string& path, int channels, int rate, std::string& error) {
    mPath = path;
    std::string reason;
    if (!mTarget.Open(path, reason)) {
        error = "cannot write " + path + ": " + reason;
        return false;
    }
    SF_INFO info{};
    info.samplerate = rate;
    info.channels = channels;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    errno = 0;
    mFile = sf_open_fd(mTarget.Fd(), SFM_WRITE, &info, SF_FALSE);
    if (mFile == nullptr) {
        error = "cannot write " + path + ": " +
                (errno != 0 ? std::strerror(errno) : sf_strerror(nullptr));
        mTarget.Discard();
        return false;
    }
    mChannels = channels;
    mPending.reserve(kPendingSamples + 4096);
    return true;
}

bool tWavWriter::Write(const std::int16_t* samples, int frames, std::string& error) {
    mPending.insert(mPending.end(), samples,
                    samples + static_cast<std::size_t>(frames) * mChannels);
    return mPending.size() < kPendingSamples || flush(error);
}

bool tWavWriter::flush(std::string& error) {
    const sf_count_t frames = static_cast<sf_count_t>(mPending.size() / mChannels);
    const sf_count_t written = frames == 0 ? 0 : sf_writef_short(mFile, mPending.data(), frames);
    mPending.clear();
    if (written != frames) {
        error = "writing " + mPath + " failed: " + sf_strerror(mFile);
        return false;
    }
    return true;
}

bool tWavWriter::Close(std::string& error) {
    if (mFile == nullptr) return true;
    if (!flush(error)) {
        sf_close(mFile);
        mFile = nullptr;
        mTarget.Discard();
        return false;
    }
    const int status = sf_close(mFile);
    mFile = nullptr;
    if (status != 0) {
        error = "finishing " + mPath + " failed: " + sf_error_number(status);
        mTarget.Discard();
        return false;
    }
    std::string reason;
    if (!mTarget.Commit(reason)) {
        error = "writing " + mPath + " failed: " + reason;
        return false;
    }
    return true;
}
