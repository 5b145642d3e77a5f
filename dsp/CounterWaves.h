// Geometric excitation waves driven by an integer sample counter over one period: rectangle,
// triangle and saw. Rect and tri take their first sample from index −1, the saw from 0.
#pragma once

// Period floor(rate / f + 0.5), at least 1 sample.
int wavePeriod(int rate, double f);

class tRectWave {
public:
    void setFrequency(int rate, double f) {
        mPeriod = wavePeriod(rate, f);
        mIndex = -1;
    }
    double next() {
        const int j = mIndex;
        mIndex = j + 1 < mPeriod ? j + 1 : 0;
        const int u = 2 * j;
        return u < mPeriod ? -1.0 : (u == mPeriod ? 0.0 : 1.0);
    }
    int period() const { return mPeriod; }

private:
    int mPeriod = 1;
    int mIndex = -1;
};

class tTriWave {
public:
    void setFrequency(int rate, double f) {
        mPeriod = wavePeriod(rate, f);
        mIndex = -1;
    }
    double next() {
        const int j = mIndex;
        mIndex = j + 1 < mPeriod ? j + 1 : 0;
        const double u = 4.0 * j;
        const double p = mPeriod;
        if (u < p) return u / p;
        if (u < 3.0 * p) return 1.0 - (u - p) / p;
        return (u - 3.0 * p) / p - 1.0;
    }
    int period() const { return mPeriod; }

private:
    int mPeriod = 1;
    int mIndex = -1;
};

class tSawWave {
public:
    void setFrequency(int rate, double f) {
        mPeriod = wavePeriod(rate, f);
        mIndex = -1;
    }
    double next() {
        mIndex = mIndex + 1 < mPeriod ? mIndex + 1 : 0;
        const double u = 2.0 * mIndex;
        const double p = mPeriod;
        return u < p ? u / p : (u - p) / p - 1.0;
    }
    int period() const { return mPeriod; }

private:
    int mPeriod = 1;
    int mIndex = -1;
};
