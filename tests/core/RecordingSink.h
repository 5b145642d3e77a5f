// A MIDI sink that writes every event it receives as a line of text; safe to feed from
// another thread.
#pragma once

#include "core/MidiSink.h"

#include <chrono>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class tRecordingSink : public tMidiSink {
public:
    void NoteOn(int channel, int key, int velocity) override {
        Add("on " + std::to_string(channel) + " " + std::to_string(key) + " " +
            std::to_string(velocity));
    }
    void NoteOff(int channel, int key) override {
        Add("off " + std::to_string(channel) + " " + std::to_string(key));
    }
    void Controller(int channel, int number, int value) override {
        Add("ctl " + std::to_string(channel) + " " + std::to_string(number) + " " +
            std::to_string(value));
    }
    void SetPan(int channel, int value) override {
        Add("pan " + std::to_string(channel) + " " + std::to_string(value));
    }
    void AllNotesOff() override { Add("all-off"); }
    void ChannelNotesOff(int channel) override { Add("all-off " + std::to_string(channel)); }

    std::vector<std::string> Events() {
        std::lock_guard<std::mutex> lock(mLock);
        return mEvents;
    }
    // The events once there are count of them, or what came within a few seconds.
    std::vector<std::string> WaitForEvents(std::size_t count) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (Events().size() < count && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        return Events();
    }

private:
    void Add(std::string text) {
        std::lock_guard<std::mutex> lock(mLock);
        mEvents.push_back(std::move(text));
    }

    std::mutex mLock;
    std::vector<std::string> mEvents;
};
