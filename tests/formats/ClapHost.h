// A small CLAP host for the tests: loads a .clap file, creates the plug-in,
// reads its parameters and their texts, sends note, MIDI and parameter events
// at frames of a block, renders, and saves and loads its state, all through
// the plug-in's published entry points as a host would.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "clap/entry.h"
#include "clap/plugin-factory.h"
#include "clap/ext/gui.h"
#include "clap/ext/params.h"
#include "clap/ext/state.h"
#include "clap/ext/timer-support.h"
#include "clap/plugin-features.h"

class ClapModule {
public:
    explicit ClapModule(const std::string& path);
    ~ClapModule();
    ClapModule(const ClapModule&) = delete;
    ClapModule& operator=(const ClapModule&) = delete;

    bool loaded() const { return factory != nullptr; }
    const std::string& error() const { return failure; }
    const clap_plugin_factory_t* pluginFactory() const { return factory; }

private:
    void* handle = nullptr;
    const clap_plugin_entry_t* entry = nullptr;
    const clap_plugin_factory_t* factory = nullptr;
    std::string failure;
};

// One event of a block: a note, a short MIDI message or a parameter value.
// A hostile host may put it in another event space, or declare it shorter
// than its type (it is then handed over in a block of just that size).
struct ClapEvent {
    enum Kind { NoteOn, NoteOff, Midi, Parameter } kind;
    std::uint32_t frame;
    int key = 0;              // notes
    double velocity = 0.0;    // notes, 0..1
    unsigned char bytes[3] = {};  // MIDI
    clap_id parameter = 0;    // parameter
    double value = 0.0;       // parameter
    std::uint16_t space = CLAP_CORE_EVENT_SPACE_ID;
    std::uint32_t size = 0;   // 0: the type's own size
};

// A parameter event the plug-in sent to the host: a gesture's begin or end,
// or a new value.
struct ClapOutEvent {
    uint16_t type;
    clap_id parameter;
    double value;
};

class ClapInstance {
public:
    // Null when the factory refuses the id or init() fails.
    static std::unique_ptr<ClapInstance> create(const ClapModule& module, const char* id);
    ~ClapInstance();
    ClapInstance(const ClapInstance&) = delete;
    ClapInstance& operator=(const ClapInstance&) = delete;

    const clap_plugin_t* plugin() const { return instance; }
    bool activate(double rate, std::uint32_t maxFrames);
    void deactivate();

    std::uint32_t parameterCount() const;
    bool parameterInfo(std::uint32_t index, clap_param_info_t* info) const;
    double parameterValue(clap_id id) const;
    std::string valueText(clap_id id, double value) const;
    bool textValue(clap_id id, const char* text, double* value) const;
    // Sets values outside processing (the params extension's flush).
    void flushParameters(const std::vector<ClapEvent>& events);

    // Renders frames after the block's events into left and right; the
    // parameter events the plug-in sends back are kept in sent().
    bool process(const std::vector<ClapEvent>& events, float* left, float* right, std::uint32_t frames);
    const std::vector<ClapOutEvent>& sent() const { return outEvents; }

    // The panel's extension, or null.
    const clap_plugin_gui_t* gui() const {
        return static_cast<const clap_plugin_gui_t*>(instance->get_extension(instance, CLAP_EXT_GUI));
    }

    // Fires every timer the plug-in registered once, as a host's main loop does.
    void runTimers();
    std::size_t timerCount() const { return timers.size(); }

    // The panel's resize requests: refused while refuseResizes is set, and counted.
    bool refuseResizes = false;
    int resizeRequests = 0;

    // A careless host: the output channels it declares (their buffers are
    // the left one's size).
    std::uint32_t outputChannels = 2;

    std::vector<std::uint8_t> saveState() const;
    // Reads come in two short pieces of shortRead bytes, then one of 300, and so on.
    bool loadState(const std::vector<std::uint8_t>& data, std::size_t shortRead = 77) const;
    // A careless host's reads: each reports this many bytes more than it
    // delivered, and after failReadAfter bytes a read fails.
    std::int64_t readOverReport = 0;
    std::size_t failReadAfter = SIZE_MAX;
    // The bytes the last load read.
    mutable std::size_t bytesRead = 0;

private:
    ClapInstance() = default;
    clap_host_t host{};
    const clap_plugin_t* instance = nullptr;
    const clap_plugin_params_t* params = nullptr;
    const clap_plugin_state_t* state = nullptr;
    bool active = false;
    bool processing = false;
    std::int64_t steadyTime = 0;
    std::vector<clap_id> timers;
    std::vector<ClapOutEvent> outEvents;
    clap_id nextTimer = 1;
    friend struct ClapHostTimers;
};
