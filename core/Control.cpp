#include "core/Control.h"

#include <algorithm>
#include <utility>

tControl::tControl(tControlKind kind, std::string label, double minimum, double maximum,
                   double step, double initial, std::vector<std::string> entries, int colour)
    : mKind(kind), mLabel(std::move(label)), mMinimum(minimum), mMaximum(maximum), mStep(step),
      mInitial(initial), mEntries(std::move(entries)), mValue(initial), mColour(colour) {}

tControl::tControl(tControl&& other) noexcept
    : mKind(other.mKind), mLabel(std::move(other.mLabel)), mMinimum(other.mMinimum),
      mMaximum(other.mMaximum), mStep(other.mStep), mInitial(other.mInitial),
      mEntries(std::move(other.mEntries)), mValue(other.Value()), mColour(other.Colour()) {}

tControl tControl::Slider(std::string label, double minimum, double maximum, double step,
                          double initial) {
    return tControl(tControlKind::Slider, std::move(label), minimum, maximum, step, initial, {}, 0);
}

tControl tControl::FillSlider(std::string label, double minimum, double maximum, double step,
                              double initial) {
    return tControl(tControlKind::FillSlider, std::move(label), minimum, maximum, step, initial, {},
                    0);
}

tControl tControl::Choice(std::string label, std::vector<std::string> entries, int initial) {
    const double last = entries.empty() ? 0.0 : static_cast<double>(entries.size() - 1);
    return tControl(tControlKind::Choice, std::move(label), 0.0, last, 1.0, initial,
                    std::move(entries), 0);
}

tControl tControl::Switch(std::string label, bool initial) {
    return tControl(tControlKind::Switch, std::move(label), 0.0, 1.0, 1.0, initial ? 1.0 : 0.0, {},
                    0);
}

tControl tControl::Display(std::string label, double minimum, double maximum, double initial,
                           int colour) {
    return tControl(tControlKind::Display, std::move(label), minimum, maximum, 0.0, initial, {},
                    colour);
}

double tControl::Limit(double value) const {
    const double lo = std::min(mMinimum, mMaximum);
    const double hi = std::max(mMinimum, mMaximum);
    if (value < lo) return lo;
    if (value > hi) return hi;
    return value;
}

void tControl::Set(double value) {
    switch (mKind) {
    case tControlKind::Slider:
    case tControlKind::FillSlider:
        Store(Limit(value));
        break;
    case tControlKind::Choice: {
        const int index = static_cast<int>(value);
        if (index < 0 || index >= EntryCount()) return;
        Store(index);
        break;
    }
    case tControlKind::Switch:
        Store(value != 0.0 ? 1.0 : 0.0);
        break;
    case tControlKind::Display:
        Store(value);
        break;
    }
}

void tControl::SetRaw(double value) {
    Store(value);
}

void tControl::SetColour(int colour) {
    mColour.store(colour, std::memory_order_relaxed);
    mSerial.fetch_add(1, std::memory_order_release);
    if (mWatcher != nullptr) mWatcher->fetch_add(1, std::memory_order_release);
}

void tControl::Store(double value) {
    mValue.store(value, std::memory_order_relaxed);
    mSerial.fetch_add(1, std::memory_order_release);
    if (mWatcher != nullptr) mWatcher->fetch_add(1, std::memory_order_release);
}
