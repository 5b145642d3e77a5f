#include "plugins/lv2/HostInput.h"

#include <algorithm>

tHostInput::tHostInput() : tSlot(0, 0, 0, false) {}

void tHostInput::Feed(const double* interleaved, int frames) {
    mInput = interleaved;
    mFrames = frames;
    mRead = 0;
}

void tHostInput::Render(int frames) {
    frames = std::clamp(frames, 0, kBufferSize / 2);
    const int available = std::clamp(mFrames - mRead, 0, frames);
    for (int i = 0; i < available; ++i) {
        const double* in = mInput + 2 * (mRead + i);
        if (mChannels == 1) {
            mOutput[i] = 0.5 * (in[0] + in[1]);
        } else {
            mOutput[2 * i] = in[0];
            mOutput[2 * i + 1] = in[1];
        }
    }
    std::fill(mOutput + available * mChannels, mOutput + frames * mChannels, 0.0);
    mRead += available;
    rendered = true;
}
