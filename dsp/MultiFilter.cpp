#include "dsp/MultiFilter.h"

tMultiFilter::tMultiFilter()
    : mFilters{&mLowPass1,  &mLowPass2,  &mLowPass3,  &mLowPass4, &mHighPass1,
               &mHighPass2, &mHighPass3, &mHighPass4, &mBandPass2},
      mCurrent(&mLowPass2) {}

void tMultiFilter::setSampleRate(int rate) {
    for (tFilter* filter : mFilters) filter->setSampleRate(rate);
}

void tMultiFilter::setOrder(int order) {
    if (mBase == 8) return;
    mOrder = order < 0 ? 0 : (order > 3 ? 3 : order);
    mCurrent = mFilters[mBase + mOrder];
}

void tMultiFilter::setMode(int mode) {
    if (mode == kLowPass)
        mBase = 0;
    else if (mode == kHighPass)
        mBase = 4;
    else if (mode == kBandPass)
        mBase = 8;
    mCurrent = mFilters[mBase <= 7 ? mBase + mOrder : 8];
}
