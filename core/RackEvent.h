// MIDI events on their way from the input threads to the rack's modules.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>

struct tRackEvent {
    enum Kind : std::uint8_t { kNoteOn, kNoteOff, kController, kPan, kAllNotesOff };
    Kind kind = kAllNotesOff;
    std::int8_t channel = 0; // -1: every channel (all notes off only)
    std::int16_t number = 0; // key or controller number (-1 = pitch bend)
    std::int16_t value = 0;  // velocity, controller value (0..16383) or pan
};

// A fixed ring of events with one producer side and one consumer side at a time. The
// producers serialise among themselves; the consumer is whoever holds the rack's lock.
class tEventQueue {
public:
    static constexpr std::uint32_t kCapacity = 1024;

    // False (and the event dropped) when the ring is full.
    bool Push(const tRackEvent& event) {
        const std::uint32_t head = mHead.load(std::memory_order_relaxed);
        const std::uint32_t tail = mTail.load(std::memory_order_acquire);
        if (head - tail >= kCapacity) return false;
        mRing[head % kCapacity] = event;
        mHead.store(head + 1, std::memory_order_release);
        return true;
    }

    // The position the next Push takes; Pop has consumed every event before Tail().
    std::uint32_t Head() const { return mHead.load(std::memory_order_acquire); }
    std::uint32_t Tail() const { return mTail.load(std::memory_order_acquire); }

    bool Pop(tRackEvent& event) {
        const std::uint32_t tail = mTail.load(std::memory_order_relaxed);
        const std::uint32_t head = mHead.load(std::memory_order_acquire);
        if (tail == head) return false;
        event = mRing[tail % kCapacity];
        mTail.store(tail + 1, std::memory_order_release);
        return true;
    }

private:
    std::array<tRackEvent, kCapacity> mRing{};
    std::atomic<std::uint32_t> mHead{0};
    std::atomic<std::uint32_t> mTail{0};
};
