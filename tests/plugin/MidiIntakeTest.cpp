// MIDI from the host turned into engine events: what is queued, with which
// note, velocity and offset, and what is ignored.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "engine/VoiceEngine.h"
#include "instrument/ParameterTable.h"
#include "plugin/VSTPlug.h"
#include "tests/support/HashBytes.h"

namespace {

struct EventBlock {
    std::vector<VstMidiEvent> midi;
    std::vector<VstEvent*> pointers;
    std::vector<unsigned char> storage;

    void add(VstInt32 delta, unsigned char status, unsigned char d1, unsigned char d2) {
        VstMidiEvent e{};
        e.type = kVstMidiType;
        e.byteSize = sizeof(VstMidiEvent);
        e.deltaFrames = delta;
        e.midiData[0] = static_cast<char>(status);
        e.midiData[1] = static_cast<char>(d1);
        e.midiData[2] = static_cast<char>(d2);
        midi.push_back(e);
    }
    VstEvents* events() {
        pointers.clear();
        for (auto& e : midi) pointers.push_back(reinterpret_cast<VstEvent*>(&e));
        storage.assign(sizeof(VstEvents) + sizeof(VstEvent*) * pointers.size(), 0);
        auto* block = reinterpret_cast<VstEvents*>(storage.data());
        block->numEvents = static_cast<VstInt32>(pointers.size());
        if (!pointers.empty())
            std::memcpy(block->events, pointers.data(), sizeof(VstEvent*) * pointers.size());
        return block;
    }
};

class MidiIntake : public ::testing::Test {
protected:
    VSTPlug plug{nullptr};
    VoiceEngine& engine = plug.instrument().voiceEngine();

    VstInt32 send(EventBlock& block) { return plug.processEvents(block.events()); }
    // The block's left channel.
    std::vector<float> render(int frames) {
        std::vector<float> left(static_cast<std::size_t>(frames)), right(left.size());
        float* outputs[2] = {left.data(), right.data()};
        plug.processReplacing(nullptr, outputs, frames);
        return left;
    }
};

}  // namespace

TEST_F(MidiIntake, NoteOnBecomesAStartAtTwiceItsFrame) {
    EventBlock block;
    block.add(10, 0x90, 60, 127);
    block.add(11, 0x93, 0, 64);  // channel 4 plays the same instrument
    EXPECT_EQ(send(block), 1);
    ASSERT_EQ(engine.queuedEvents(), 2);
    EXPECT_EQ(engine.event(0).kind, 1);
    EXPECT_EQ(engine.event(0).note, 48);
    EXPECT_EQ(engine.event(0).value, 1.0f);
    EXPECT_EQ(engine.event(0).offset, 20);
    EXPECT_EQ(engine.event(1).note, -12);
    EXPECT_EQ(engine.event(1).value, static_cast<float>(64.0 / 127.0));
    EXPECT_EQ(engine.event(1).offset, 22);
}

TEST_F(MidiIntake, VelocityZeroReleasesLikeANoteOff) {
    plug.setBlockSize(64);
    plug.resume();
    EventBlock start;
    start.add(0, 0x90, 60, 100);
    start.add(0, 0x90, 62, 100);
    send(start);
    render(64);

    EventBlock offs;
    offs.add(3, 0x90, 60, 0);
    offs.add(4, 0x85, 62, 64);  // release velocity is ignored
    send(offs);
    ASSERT_EQ(engine.queuedEvents(), 2);
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(engine.event(i).kind, 2);
        EXPECT_EQ(engine.event(i).offset, 6 + 2 * i);
    }
}

TEST_F(MidiIntake, AllNotesOffSilencesAtOnceButKeepsQueuedStarts) {
    plug.setBlockSize(64);
    plug.resume();
    EventBlock start;
    start.add(0, 0x90, 60, 100);
    send(start);
    render(64);
    int sounding = 0;
    for (int v = 0; v < VoiceEngine::kVoiceCount; ++v) sounding += engine.voice(v).active();
    ASSERT_EQ(sounding, 1);

    for (unsigned char controller : {123, 126}) {
        EventBlock block;
        block.add(5, 0x90, 64, 100);
        block.add(40, static_cast<unsigned char>(0xB0 | 9), controller, 0);
        send(block);
        for (int v = 0; v < VoiceEngine::kVoiceCount; ++v) EXPECT_FALSE(engine.voice(v).active()) << v;
        EXPECT_EQ(engine.queuedEvents(), 1);  // the start of this block still happens
        render(64);
        sounding = 0;
        for (int v = 0; v < VoiceEngine::kVoiceCount; ++v) sounding += engine.voice(v).active();
        EXPECT_EQ(sounding, 1);
    }
}

TEST_F(MidiIntake, PitchBendIsQueuedWithItsAmount) {
    EventBlock block;
    block.add(1, 0xE0, 0, 0);
    block.add(2, 0xE0, 0, 64);
    block.add(3, 0xEF, 127, 127);
    send(block);
    ASSERT_EQ(engine.queuedEvents(), 3);
    EXPECT_EQ(engine.event(0).kind, 3);
    EXPECT_EQ(engine.event(0).value, -1.0f);
    EXPECT_EQ(engine.event(1).value, 0.0f);
    EXPECT_EQ(engine.event(2).value, 0.9998779296875f);
    EXPECT_EQ(engine.event(2).offset, 6);
}

TEST_F(MidiIntake, EverythingElseIsIgnored) {
    EventBlock block;
    block.add(0, 0xB0, 7, 100);   // volume
    block.add(0, 0xB0, 64, 127);  // sustain
    block.add(0, 0xC0, 5, 0);     // program change
    block.add(0, 0xA0, 60, 50);   // poly pressure
    block.add(0, 0xD0, 60, 0);    // channel pressure
    block.add(0, 0xF8, 0, 0);     // clock
    block.add(0, 0x90, 60, 100);
    block.midi.back().type = kVstSysExType;  // not MIDI: skipped whatever its bytes say
    const int reserveBefore = engine.reserve();
    EXPECT_EQ(send(block), 1);
    EXPECT_EQ(engine.queuedEvents(), 0);
    EXPECT_EQ(engine.reserve(), reserveBefore);
    EXPECT_EQ(plug.getProgram(), 0);

    EventBlock empty;
    EXPECT_EQ(send(empty), 1);
    EXPECT_EQ(plug.processEvents(nullptr), 1);
}

TEST_F(MidiIntake, AFloodOfNotesInOneBlockLosesNoNoteOff) {
    // pairs on/off pairs (a note byte above 127 plays its low seven bits) in a
    // 512-frame block at the shortest release, then a second of blocks: what
    // sounds one to three seconds later, and the bits of the first second.
    auto play = [](int pairs, float* late) {
        VSTPlug flooded(nullptr);
        flooded.setBlockSize(512);
        flooded.resume();
        flooded.setParameter(ParameterIndex::Release, 0.0f);
        EventBlock block;
        for (int i = 0; i < pairs; ++i) block.add(i * 256 / pairs, 0x90, static_cast<unsigned char>(36 + i % 200), 100);
        for (int i = 0; i < pairs; ++i) block.add(256 + i * 256 / pairs, 0x80, static_cast<unsigned char>(36 + i % 200), 0);
        flooded.processEvents(block.events());
        std::vector<float> out(512), right(512);
        float* outputs[2] = {out.data(), right.data()};
        std::uint64_t hash = kHashStart;
        *late = 0.0f;
        for (int b = 0; b < 86 * 3; ++b) {
            flooded.processReplacing(nullptr, outputs, 512);
            if (b < 86) hash = hashBytes(out.data(), out.size() * sizeof(float), hash);
            for (float x : out) *late = std::max(*late, b >= 86 ? std::abs(x) : 0.0f);
        }
        return hash;
    };
    float late = 1.0f;
    play(300, &late);
    EXPECT_LT(late, 1e-4f);
    // 64 pairs (128 events) sound as they always have.
    EXPECT_EQ(play(64, &late), 17601557511771466563ull);
    EXPECT_LT(late, 1e-4f);
}
