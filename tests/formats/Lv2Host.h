// A small LV2 host for the tests: loads the DSP module's descriptor,
// instantiates it with the features DPF asks for (URID map, options, worker),
// selects programs, renders blocks after MIDI messages, and saves and
// restores state as a host does. Its careless
// mode restores strings without their terminating zero, each in a block of
// just its length.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "lv2/lv2.h"

class Lv2Instance {
public:
    // The module at path, its first plug-in, at 44.1 kHz.
    explicit Lv2Instance(const std::string& path);
    ~Lv2Instance();
    Lv2Instance(const Lv2Instance&) = delete;
    Lv2Instance& operator=(const Lv2Instance&) = delete;
    bool ready() const { return instance != nullptr; }

    void selectProgram(unsigned program);
    // get_program's answer: "bank program name", or "" for none.
    std::string program(unsigned index);
    // Connects the ports and activates; the control inputs start at the
    // plug-in's values, as from the Turtle files' defaults.
    void activate();
    struct Midi {
        unsigned frame;
        unsigned char bytes[3];
    };
    // Renders frames after the block's MIDI messages (activate() first).
    void run(const std::vector<Midi>& midi, float* left, float* right, unsigned frames);
    float control(unsigned index) const { return controls[index]; }
    // The saved state: each key's URI and its text.
    std::map<std::string, std::string> saveState();
    bool restoreState(const std::map<std::string, std::string>& state, bool withTerminator = true);

    // URIs as numbers, for the plug-in.
    unsigned map(const char* uri);
    const std::string& unmap(unsigned urid) const { return uris.at(urid - 1); }

private:
    void* module = nullptr;
    const LV2_Descriptor* descriptor = nullptr;
    LV2_Handle instance = nullptr;
    std::vector<std::string> uris;
    struct Features;
    std::unique_ptr<Features> features;
    float controls[16] = {};
    std::vector<std::uint64_t> eventsIn, eventsOut;
    bool active = false;
    unsigned sequenceType = 0, chunkType = 0, midiType = 0;  // mapped once, not on the audio thread
};
