// DC blocker: y = r·y1 + x − x1, a zero at DC and a pole just inside it.
#pragma once

class tDcBlocker {
public:
    // Sets the pole radius and clears the state.
    void setCoefficient(double r) {
        mR = r;
        reset();
    }
    void reset() {
        mX1 = 0.0;
        mY1 = 0.0;
    }
    // At rest on a constant input x: the output is 0 and stays so while x holds.
    void settle(double x) {
        mX1 = x;
        mY1 = 0.0;
    }
    // Forgets only the previous input (a new note's pressure offset starts from zero).
    void resetInput() { mX1 = 0.0; }

    double process(double x) { return step(mR, mX1, mY1, x); }
    // One step on a state held elsewhere: of one blocker, or of several side by side in a
    // vector (each element rounds as the double would).
    template <class T> static T step(T r, T& x1, T& y1, T x) {
        const T y = r * y1 + x - x1;
        x1 = x;
        y1 = y;
        return y;
    }

    double coefficient() const { return mR; }
    // The signal state: the last input and output.
    double lastInput() const { return mX1; }
    double lastOutput() const { return mY1; }
    // Takes back the signal state from a run that computed it outside (see lastInput()).
    void setState(double x1, double y1) {
        mX1 = x1;
        mY1 = y1;
    }

private:
    double mX1 = 0.0;
    double mY1 = 0.0;
    double mR = 0.995;
};
