// libFuzzer target: the MIDI intake and the audio block that plays it.
//
// Input: two bytes (little-endian) choosing the block length, 1 to 2048 frames
// against work buffers of 512, so that long blocks are rendered in pieces; then
// events of 8 bytes each: a type selector (mostly MIDI, else another event
// type), deltaFrames as a little-endian 32-bit integer, and three MIDI bytes.
// Any status byte, any offset and any number of events is allowed.
//
// The output of that block and of the block after it must be finite and
// bounded, on a fresh instance per input so that every finding reproduces.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "plugin/VSTPlug.h"

namespace {

constexpr int kBufferFrames = 512;
constexpr int kMaxFrames = 2048;
constexpr std::size_t kEventBytes = 8;
// 16 clipped voices summed in pairs, three body bands at +18 dB and the chorus.
constexpr float kPeakBound = 16.0f * 2.0f * 8.0f * 8.0f * 8.0f * 1.5f;

void require(bool condition) {
    if (!condition) __builtin_trap();
}

void render(VSTPlug& plug, int frames) {
    static float left[kMaxFrames], right[kMaxFrames];
    float* outputs[2] = {left, right};
    plug.processReplacing(nullptr, outputs, frames);
    for (int i = 0; i < frames; ++i)
        require(std::isfinite(left[i]) && std::isfinite(right[i]) && std::fabs(left[i]) < kPeakBound &&
                std::fabs(right[i]) < kPeakBound);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) return 0;
    const int frames = 1 + static_cast<int>((data[0] | (data[1] << 8)) % kMaxFrames);
    data += 2;
    size -= 2;

    const std::size_t count = size / kEventBytes;
    std::vector<VstMidiEvent> midi(count);
    std::vector<unsigned char> storage(sizeof(VstEvents) + sizeof(VstEvent*) * (count < 2 ? 2 : count));
    auto* events = reinterpret_cast<VstEvents*>(storage.data());
    events->numEvents = static_cast<VstInt32>(count);
    // The host's pointer list runs past the two entries the record declares.
    auto* list = reinterpret_cast<VstEvent**>(storage.data() + offsetof(VstEvents, events));
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint8_t* in = data + i * kEventBytes;
        VstMidiEvent& e = midi[i];
        e.type = (in[0] & 7) == 7 ? static_cast<VstInt32>(in[0] >> 3) : kVstMidiType;
        if (e.type == kVstSysExType) e.type = 0;  // a sysex record has a layout of its own
        e.byteSize = sizeof(VstMidiEvent);
        std::int32_t delta;
        std::memcpy(&delta, in + 1, 4);
        e.deltaFrames = delta;
        e.midiData[0] = static_cast<char>(in[5]);
        e.midiData[1] = static_cast<char>(in[6]);
        e.midiData[2] = static_cast<char>(in[7]);
        list[i] = reinterpret_cast<VstEvent*>(&e);
    }

    auto plug = std::make_unique<VSTPlug>(nullptr);
    plug->setSampleRate(44100.0f);
    plug->setBlockSize(kBufferFrames);
    plug->resume();
    require(plug->processEvents(events) == 1);
    render(*plug, frames);
    render(*plug, 64);
    return 0;
}
