// libFuzzer target: restoring saved state from whatever bytes a host hands over.
//
// Input: one mode byte, then the block. Mode bit 0 is the preset flag; bit 1
// selects the program in bits 2..4 before the restore; bit 5 pads or cuts the
// block to the exact size of its kind, so that the fuzzer reaches the accepting
// paths whatever its length; bit 6 plays a note and renders afterwards.
//
// A refused block must change nothing. An accepted one must leave every live
// and saved value finite and within 0..1, and the instrument must still render
// finite audio.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "plugin/VSTPlug.h"

namespace {

constexpr int kFrames = 64;

void require(bool condition) {
    if (!condition) __builtin_trap();
}

struct Fixture {
    VSTPlug plug{nullptr};
    std::vector<unsigned char> factoryBank;

    Fixture() {
        plug.setSampleRate(44100.0f);
        plug.setBlockSize(kFrames);
        plug.resume();
        factoryBank = bank();
    }

    std::vector<unsigned char> block(bool preset) {
        void* data = nullptr;
        const VstInt32 size = plug.getChunk(&data, preset);
        require(size == (preset ? 64 : 704) && data != nullptr);
        const auto* bytes = static_cast<const unsigned char*>(data);
        return std::vector<unsigned char>(bytes, bytes + size);
    }
    std::vector<unsigned char> bank() { return block(false); }

    // Every value a block of this kind carries.
    static void requireValuesInRange(const std::vector<unsigned char>& saved) {
        const bool preset = saved.size() == 64;
        for (std::size_t p = 0; p < (preset ? 1u : 8u); ++p) {
            for (std::size_t i = 0; i < 16; ++i) {
                float v;
                std::memcpy(&v, &saved[preset ? 4 * i : 88 * p + 24 + 4 * i], 4);
                require(v >= 0.0f && v <= 1.0f);
            }
        }
    }
};

Fixture& fixture() {
    static Fixture* instance = new Fixture;  // one instance for the whole run; reset per input
    return *instance;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    Fixture& f = fixture();
    VSTPlug& plug = f.plug;

    // The same starting point for every input.
    plug.setProgram(0);
    require(plug.setChunk(f.factoryBank.data(), 704, false) == 704);

    const std::uint8_t mode = data[0];
    const bool preset = (mode & 1) != 0;
    if (mode & 2) plug.setProgram((mode >> 2) & 7);
    std::vector<unsigned char> block(data + 1, data + size);
    if (mode & 0x20) block.resize(preset ? 64 : 704, 0);
    // A host's buffer is never null; an empty block still has an address.
    std::vector<unsigned char> storage(block);
    if (storage.empty()) storage.push_back(0);

    const std::vector<unsigned char> bankBefore = f.bank();
    const std::vector<unsigned char> presetBefore = f.block(true);
    const VstInt32 result = plug.setChunk(storage.data(), static_cast<VstInt32>(block.size()), preset);

    if (result != 0) {
        require(result == static_cast<VstInt32>(block.size()));
        require(block.size() == 704 || (preset && block.size() == 64));
        for (VstInt32 i = 0; i < 16; ++i) {
            const float v = plug.getParameter(i);
            require(v >= 0.0f && v <= 1.0f);
        }
        Fixture::requireValuesInRange(f.bank());
        Fixture::requireValuesInRange(f.block(true));
    } else {
        require(f.bank() == bankBefore);
        require(f.block(true) == presetBefore);
    }

    if (mode & 0x40) {
        VstMidiEvent note{};
        note.type = kVstMidiType;
        note.byteSize = sizeof(VstMidiEvent);
        note.midiData[0] = static_cast<char>(0x90);
        note.midiData[1] = 60;
        note.midiData[2] = 127;
        VstEvents events{};
        events.numEvents = 1;
        events.events[0] = reinterpret_cast<VstEvent*>(&note);
        plug.processEvents(&events);
        float left[kFrames], right[kFrames];
        float* outputs[2] = {left, right};
        for (int b = 0; b < 4; ++b) {
            plug.processReplacing(nullptr, outputs, kFrames);
            for (int i = 0; i < kFrames; ++i) require(std::isfinite(left[i]) && std::isfinite(right[i]));
        }
        // Silence the voice again so that the next input starts quiet.
        VstMidiEvent off = note;
        off.midiData[0] = static_cast<char>(0xB0);
        off.midiData[1] = 123;
        off.midiData[2] = 0;
        events.events[0] = reinterpret_cast<VstEvent*>(&off);
        plug.processEvents(&events);
        plug.processReplacing(nullptr, outputs, kFrames);
    }
    return 0;
}
