#include "standalone/StandaloneSynth.h"

void StandaloneSynth::start(float rate, int maxFrames) {
    if (!queueReady) {
        for (std::uint32_t i = 0; i < kSlots; ++i) slots[i].turn.store(i, std::memory_order_relaxed);
        queueReady = true;
    }
    core.setSampleRate(rate);
    core.prepare(maxFrames);
}

bool StandaloneSynth::post(unsigned char status, unsigned char data1, unsigned char data2) noexcept {
    std::uint32_t at = writeAt.load(std::memory_order_relaxed);
    for (;;) {
        Slot& slot = slots[at % kSlots];
        const std::uint32_t turn = slot.turn.load(std::memory_order_acquire);
        if (turn == at) {
            if (writeAt.compare_exchange_weak(at, at + 1, std::memory_order_relaxed)) {
                slot.bytes = MidiBytes{0, status, data1, data2};
                slot.turn.store(at + 1, std::memory_order_release);
                return true;
            }
        } else if (static_cast<std::int32_t>(turn - at) < 0) {
            return false;  // full: the reader has not freed this slot yet
        } else {
            at = writeAt.load(std::memory_order_relaxed);
        }
    }
}

void StandaloneSynth::apply(int frame, const MidiBytes& event) noexcept {
    const unsigned char status = event.status;
    if ((status & 0xF0) == 0xE0) {
        core.pitchBend(frame, static_cast<int>(event.data1) | (static_cast<int>(event.data2) << 7));
        return;
    }
    // A note's key is 0..127: a byte beyond is no other key.
    if (((status & 0xE0) == 0x80 || (status & 0xF0) == 0xA0) && event.data1 > 127) return;
    core.midiMessage(frame, status, event.data1, event.data2);
}

void StandaloneSynth::changeProgram(int program) noexcept {
    // The instrument's rule: at once, or at the next period when the window
    // or the state saving holds the program lock, unless a later change came.
    if (core.requestProgram(program)) changeCount.fetch_add(1, std::memory_order_relaxed);
}

void StandaloneSynth::process(float* left, float* right, int frames, const MidiBytes* events,
                              int count) noexcept {
    // The queued messages, at frame 0.
    for (;;) {
        Slot& slot = slots[readAt % kSlots];
        if (!queueReady || slot.turn.load(std::memory_order_acquire) != readAt + 1) break;
        const MidiBytes bytes = slot.bytes;
        slot.turn.store(readAt + kSlots, std::memory_order_release);
        ++readAt;
        if ((bytes.status & 0xF0) == 0xC0) {
            if (bytes.data1 < Instrument::kProgramCount) changeProgram(bytes.data1);
            continue;
        }
        apply(0, bytes);
    }
    int done = 0;  // frames rendered so far
    for (int i = 0; i < count; ++i) {
        const MidiBytes& event = events[i];
        const int frame =
            event.frame < static_cast<std::uint32_t>(frames) ? static_cast<int>(event.frame) : frames - 1;
        if ((event.status & 0xF0) == 0xC0) {
            if (event.data1 >= Instrument::kProgramCount) continue;
            // The period up to the change with the old program, the rest with the new.
            if (frame > done) {
                core.render(left + done, right + done, frame - done);
                done = frame;
            }
            changeProgram(event.data1);
            continue;
        }
        apply(frame < done ? 0 : frame - done, event);
    }
    if (frames > done) core.render(left + done, right + done, frames - done);
}
