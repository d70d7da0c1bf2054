// A small VST3 host for the tests: loads the module, creates the component with
// its processor and controller (the component itself, or a class of its own),
// and hands the plug-in events, parameter changes and memory streams as a host
// would. The stream has a careless mode (reads that report more than they
// delivered); events, changes and block sizes are whatever a test puts in.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "travesty/audio_processor.h"
#include "travesty/bstream.h"
#include "travesty/component.h"
#include "travesty/edit_controller.h"
#include "travesty/events.h"
#include "travesty/factory.h"
#include "travesty/view.h"

template <class T>
v3_result queryInterface(T** object, const v3_tuid iid, void** out) {
    return static_cast<v3_funknown*>(static_cast<void*>(*object))->query_interface(object, iid, out);
}

class Vst3Module {
public:
    explicit Vst3Module(const char* path);
    ~Vst3Module();
    Vst3Module(const Vst3Module&) = delete;
    Vst3Module& operator=(const Vst3Module&) = delete;
    v3_plugin_factory** factory = nullptr;

private:
    using FactoryEntry = const void* (*)();
    void* handle = nullptr;
    bool entered = false;
    FactoryEntry factoryEntry = nullptr;
};

// ---- Host objects: a COM-style object is a pointer to its function table ----

inline v3_result V3_API refuseInterface(void*, const v3_tuid, void** obj) {
    *obj = nullptr;
    return V3_NO_INTERFACE;
}
inline uint32_t V3_API staticRef(void*) { return 1; }

struct Vst3EventList {
    struct Table {
        v3_funknown unknown;
        v3_event_list list;
    };
    static uint32_t V3_API count(void* self) { return static_cast<uint32_t>(static_cast<Vst3EventList*>(self)->events.size()); }
    static v3_result V3_API get(void* self, int32_t index, v3_event* event) {
        auto& events = static_cast<Vst3EventList*>(self)->events;
        if (index < 0 || static_cast<std::size_t>(index) >= events.size()) return V3_INVALID_ARG;
        *event = events[static_cast<std::size_t>(index)];
        return V3_OK;
    }
    static v3_result V3_API add(void*, v3_event*) { return V3_NOT_IMPLEMENTED; }
    static constexpr Table kTable = {{refuseInterface, staticRef, staticRef}, {count, get, add}};

    const Table* table = &kTable;
    std::vector<v3_event> events;
    v3_event_list** object() { return reinterpret_cast<v3_event_list**>(this); }
};

struct Vst3ValueQueue {
    struct Table {
        v3_funknown unknown;
        v3_param_value_queue queue;
    };
    static v3_param_id V3_API id(void* self) { return static_cast<Vst3ValueQueue*>(self)->parameter; }
    static int32_t V3_API count(void* self) { return static_cast<int32_t>(static_cast<Vst3ValueQueue*>(self)->points.size()); }
    static v3_result V3_API point(void* self, int32_t index, int32_t* offset, double* value) {
        auto& points = static_cast<Vst3ValueQueue*>(self)->points;
        if (index < 0 || static_cast<std::size_t>(index) >= points.size()) return V3_INVALID_ARG;
        *offset = points[static_cast<std::size_t>(index)].first;
        *value = points[static_cast<std::size_t>(index)].second;
        return V3_OK;
    }
    static v3_result V3_API add(void*, int32_t, double, int32_t* index) {
        if (index) *index = 0;
        return V3_OK;
    }
    static constexpr Table kTable = {{refuseInterface, staticRef, staticRef}, {id, count, point, add}};

    const Table* table = &kTable;
    v3_param_id parameter = 0;
    std::vector<std::pair<int32_t, double>> points;
};

struct Vst3ParameterChanges {
    struct Table {
        v3_funknown unknown;
        v3_param_changes changes;
    };
    static int32_t V3_API count(void* self) { return static_cast<int32_t>(static_cast<Vst3ParameterChanges*>(self)->queues.size()); }
    static v3_param_value_queue** V3_API data(void* self, int32_t index) {
        auto& queues = static_cast<Vst3ParameterChanges*>(self)->queues;
        if (index < 0 || static_cast<std::size_t>(index) >= queues.size()) return nullptr;
        return reinterpret_cast<v3_param_value_queue**>(&queues[static_cast<std::size_t>(index)]);
    }
    // Changes the plug-in reports back land in one queue that keeps nothing.
    static v3_param_value_queue** V3_API add(void* self, v3_param_id*, int32_t* index) {
        if (index) *index = 0;
        return reinterpret_cast<v3_param_value_queue**>(&static_cast<Vst3ParameterChanges*>(self)->sink);
    }
    static constexpr Table kTable = {{refuseInterface, staticRef, staticRef}, {count, data, add}};

    const Table* table = &kTable;  // first: the object is a pointer to its table
    Vst3ValueQueue sink;
    std::vector<Vst3ValueQueue> queues;
    void change(v3_param_id parameter, int32_t offset, double value) {
        auto queue = std::find_if(queues.begin(), queues.end(), [&](const Vst3ValueQueue& q) { return q.parameter == parameter; });
        if (queue == queues.end()) {
            queues.emplace_back();
            queues.back().parameter = parameter;
            queue = queues.end() - 1;
        }
        queue->points.emplace_back(offset, value);
    }
    v3_param_changes** object() { return reinterpret_cast<v3_param_changes**>(this); }
};

// A memory stream that takes at most 100 bytes a write and gives 77 or 300

struct Vst3Stream {
    struct Table {
        v3_funknown unknown;
        v3_bstream stream;
    };
    static v3_result V3_API read(void* self, void* buffer, int32_t bytes, int32_t* done) {
        auto* s = static_cast<Vst3Stream*>(self);
        const std::size_t left = s->bytes.size() - s->position;
        // Reads of changing length leave stale bytes behind in the reader's buffer.
        const std::size_t chunk = s->readLength ? s->readLength : (++s->reads % 3) ? 77 : 300;
        const std::size_t count = std::min<std::size_t>({static_cast<std::size_t>(std::max(bytes, 0)), left, chunk});
        if (count) std::memcpy(buffer, s->bytes.data() + s->position, count);
        s->position += count;
        if (done) *done = static_cast<int32_t>(count) + s->overReport;
        return V3_OK;
    }
    static v3_result V3_API write(void* self, void* buffer, int32_t bytes, int32_t* done) {
        auto* s = static_cast<Vst3Stream*>(self);
        const int32_t count = std::min(bytes, 100);
        const auto* data = static_cast<const std::uint8_t*>(buffer);
        if (count > 0) s->bytes.insert(s->bytes.end(), data, data + count);
        if (done) *done = std::max(count, 0);
        return V3_OK;
    }
    static v3_result V3_API seek(void* self, int64_t position, int32_t mode, int64_t* result) {
        auto* s = static_cast<Vst3Stream*>(self);
        int64_t target = mode == 0 ? position : (mode == 1 ? static_cast<int64_t>(s->position) + position
                                                          : static_cast<int64_t>(s->bytes.size()) + position);
        target = std::clamp<int64_t>(target, 0, static_cast<int64_t>(s->bytes.size()));
        s->position = static_cast<std::size_t>(target);
        if (result) *result = target;
        return V3_OK;
    }
    static v3_result V3_API tell(void* self, int64_t* position) {
        *position = static_cast<int64_t>(static_cast<Vst3Stream*>(self)->position);
        return V3_OK;
    }
    static constexpr Table kTable = {{refuseInterface, staticRef, staticRef}, {read, write, seek, tell}};

    const Table* table = &kTable;
    std::vector<std::uint8_t> bytes;
    std::size_t position = 0;
    std::size_t reads = 0;
    // A careless host: each read reports this many bytes more than it delivered.
    int32_t overReport = 0;
    // Reads of this many bytes each, where not 0.
    std::size_t readLength = 0;
    v3_bstream** object() { return reinterpret_cast<v3_bstream**>(this); }
};



// UTF-16 text of the plug-in as ASCII.
std::string narrow(const int16_t* text);

// ---- One instance: component, processor and controller ---------------------

class Vst3Instance {
public:
    explicit Vst3Instance(v3_plugin_factory** factory);
    ~Vst3Instance();
    Vst3Instance(const Vst3Instance&) = delete;
    Vst3Instance& operator=(const Vst3Instance&) = delete;
    bool ready() const { return component && processor && controller && midiMapping; }

    // Buses on, setup_processing, set_active and set_processing.
    bool start(double rate, int32_t maxFrames);

    // The id of a parameter by its title, or of a MIDI controller (128 pitch bend ... as the mapping says).
    v3_param_id parameterId(const std::string& title);
    bool controllerId(int16_t cc, v3_param_id* id);

    bool process(Vst3EventList& events, Vst3ParameterChanges& changes, float* left, float* right, int32_t frames);

    v3_component** component = nullptr;
    v3_audio_processor** processor = nullptr;
    v3_edit_controller** controller = nullptr;
    v3_midi_mapping** midiMapping = nullptr;
    bool separateController = false;

private:
    Vst3ParameterChanges reported;
    bool active = false;
    bool processing = false;
};
