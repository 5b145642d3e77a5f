// Multi-mode filter of the effects' filter unit: one filter of every kind and order, with
// the mode (low, high, band pass) and the order choosing the one that runs.
//
// Rate changes reach all nine filters; frequency, resonance, reset, process and type reach
// only the current one, so a type chosen while one order is current does not reach the
// filters of the other orders.
#pragma once

#include "dsp/BandPass.h"
#include "dsp/Filter.h"
#include "dsp/HighPass.h"
#include "dsp/LowPass.h"

class tMultiFilter final : public tFilter {
public:
    enum { kLowPass = 0, kHighPass = 1, kBandPass = 2 };

    tMultiFilter();
    tMultiFilter(const tMultiFilter&) = delete;
    tMultiFilter& operator=(const tMultiFilter&) = delete;

    void setSampleRate(int rate) override;
    void setFrequency(double freq) override { mCurrent->setFrequency(freq); }
    void setResonance(double setting) override { mCurrent->setResonance(setting); }
    void reset() override { mCurrent->reset(); }
    double process(double x) override { return mCurrent->process(x); }
    void setType(int type) override { mCurrent->setType(type); }
    // Order minus one, clamped to 0..3; ignored in band pass mode (the order is kept for a
    // later low or high pass).
    void setOrder(int order) override;
    // 0 low pass, 1 high pass, 2 band pass; other values keep the mode.
    void setMode(int mode) override;

    tFilter* current() const { return mCurrent; }
    // The filters in their fixed order: low pass 1..4, high pass 1..4, band pass.
    tFilter* filter(int index) const { return mFilters[index]; }
    int orderIndex() const { return mOrder; }
    int modeBase() const { return mBase; }

private:
    tLowPass1 mLowPass1;
    tLowPass2 mLowPass2;
    tLowPass3 mLowPass3;
    tLowPass4 mLowPass4;
    tHighPass1 mHighPass1;
    tHighPass2 mHighPass2;
    tHighPass3 mHighPass3;
    tHighPass4 mHighPass4;
    tBandPass2 mBandPass2;
    tFilter* mFilters[9];
    tFilter* mCurrent;
    int mOrder = 1;
    int mBase = 0;
};
