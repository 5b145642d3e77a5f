#include "core/MidiDecoder.h"
#include "core/Rack.h"

#include "TestModule.h"
#include "core/RecordingSink.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <vector>

namespace {

std::vector<std::string> Decode(std::initializer_list<int> bytes) {
    tRecordingSink sink;
    tMidiDecoder decoder(sink);
    for (int b : bytes) decoder.Feed(static_cast<std::uint8_t>(b));
    return sink.Events();
}

using Events = std::vector<std::string>;

} // namespace

TEST(MidiDecoder, RunningStatusAndVelocityZeroNoteOn) {
    EXPECT_EQ(Decode({0x90, 0x3C, 0x40, 0x3E, 0x40}), (Events{"on 0 60 64", "on 0 62 64"}));
    EXPECT_EQ(Decode({0x93, 0x3C, 0x40, 0x3C, 0x00}), (Events{"on 3 60 64", "off 3 60"}));
    // Note off drops its release velocity; running status carries over to it too.
    EXPECT_EQ(Decode({0x8F, 0x30, 0x7F, 0x31, 0x00}), (Events{"off 15 48", "off 15 49"}));
}

TEST(MidiDecoder, ControllersPanPitchBendAndAllNotesOff) {
    EXPECT_EQ(Decode({0xB0, 0x0A, 0x20}), (Events{"ctl 0 10 32", "pan 0 32"}));
    EXPECT_EQ(Decode({0xB2, 0x07, 0x64, 0x40, 0x7F}), (Events{"ctl 2 7 100", "ctl 2 64 127"}));
    EXPECT_EQ(Decode({0xB5, 0x7B, 0x00, 0x78, 0x00}), (Events{"all-off 5", "all-off 5"}));
    EXPECT_EQ(Decode({0xE1, 0x00, 0x40}), (Events{"ctl 1 -1 8192"}));
    EXPECT_EQ(Decode({0xE0, 0x7F, 0x7F, 0x00, 0x00}), (Events{"ctl 0 -1 16383", "ctl 0 -1 0"}));
}

TEST(MidiDecoder, PressureAndProgramChangeAreReadAndDropped) {
    // One data byte each for program change and channel pressure, two for poly pressure: the
    // note that follows under its own status must come out intact.
    EXPECT_EQ(Decode({0xC0, 0x05, 0x06, 0xD0, 0x10, 0xA0, 0x3C, 0x10, 0x90, 0x3C, 0x01}),
              (Events{"on 0 60 1"}));
}

TEST(MidiDecoder, SystemExclusiveBodyIsSkippedUntilTheNextStatus) {
    EXPECT_EQ(Decode({0xF0, 0x41, 0x10, 0xF7, 0x90, 0x3C, 0x40}), (Events{"on 0 60 64"}));
    // System common messages cancel running status: their data bytes are skipped as well.
    EXPECT_EQ(Decode({0x90, 0x3C, 0x40, 0xF2, 0x3C, 0x40, 0x3E, 0x40}), (Events{"on 0 60 64"}));
    // Data bytes before any status byte are skipped.
    EXPECT_EQ(Decode({0x3C, 0x40, 0x80, 0x3C, 0x00}), (Events{"off 0 60"}));
}

TEST(MidiDecoder, RealTimeBytesAreInvisibleAnywhere) {
    // Clock between running-status notes, and clock, start and active sensing inside them.
    EXPECT_EQ(
        Decode({0x90, 0x3C, 0x40, 0xF8, 0x3E, 0x40, 0x40, 0xF8, 0x40, 0x41, 0xFE, 0xFA, 0x7F}),
        (Events{"on 0 60 64", "on 0 62 64", "on 0 64 64", "on 0 65 127"}));
    EXPECT_EQ(Decode({0xB1, 0xF8, 0x0A, 0xFF, 0x40}), (Events{"ctl 1 10 64", "pan 1 64"}));
    tRecordingSink sink;
    tMidiDecoder decoder(sink);
    decoder.Feed(0x94);
    decoder.Feed(0xF8);
    EXPECT_EQ(decoder.RunningStatus(), 0x90);
    EXPECT_EQ(decoder.RunningChannel(), 4);
}

TEST(MidiDecoder, StatusByteInterruptingAMessageStartsTheNewMessage) {
    // The note-on lost its velocity byte to a new status; the controller is decoded whole and
    // nothing is read as a note.
    EXPECT_EQ(Decode({0x90, 0x3C, 0xB0, 0x07, 0x50}), (Events{"ctl 0 7 80"}));
    // A pitch bend cut after its first byte, then notes under the new running status.
    EXPECT_EQ(Decode({0xE0, 0x10, 0x91, 0x30, 0x40, 0x31, 0x40}),
              (Events{"on 1 48 64", "on 1 49 64"}));
    // A sysex start inside a note: the rest is skipped until the next channel status.
    EXPECT_EQ(Decode({0x90, 0x3C, 0xF0, 0x40, 0x41, 0xF7, 0x80, 0x3C, 0x00}), (Events{"off 0 60"}));
}

TEST(MidiDecoder, RackDeliversDecodedEventsByChannel) {
    tRack rack;
    auto* first = new tTestModule(kStringModule, 0, 0);
    auto* second = new tTestModule(kFluteModule, 0, 0);
    rack.Insert(first);
    rack.Insert(second);
    {
        tRack::tGuard guard(rack);
        second->SetChannel(3);
        first->events.clear();
        second->events.clear();
    }
    tMidiDecoder decoder(rack);
    const std::uint8_t bytes[] = {0x92, 0x3C, 0x40, 0xB0, 0x0A, 0x10, 0xB2, 0x0A,
                                  0x70, 0xB2, 0x7B, 0x00, 0x90, 0x30, 0x00};
    decoder.Feed(bytes, sizeof bytes);
    rack.Render(16);
    // All notes off on the third channel reaches only the module that listens there.
    EXPECT_EQ(first->events, (Events{"ctl 0 10 16", "pan 16", "ctl 2 10 112", "off 48"}));
    EXPECT_EQ(second->events,
              (Events{"on 60 64", "ctl 0 10 16", "ctl 2 10 112", "pan 112", "off-all"}));
}
