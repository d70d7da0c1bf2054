// The VST3 build loaded by a minimal VST3 host of our own (natively, and on
// Windows under Wine): factory and class information, the component with its
// processor and controller, the comparison piece rendered bit-identical to the
// VST 2 build (notes as note events, bends and controllers through the MIDI
// mapping), the factory programs as the program list, and the component state
// round trip under a decimal-comma locale.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <clocale>
#include <map>
#include <cstring>
#include <string>
#include <vector>

#include "travesty/audio_processor.h"
#include "travesty/bstream.h"
#include "travesty/component.h"
#include "travesty/edit_controller.h"
#include "travesty/events.h"
#include "travesty/factory.h"
#include "travesty/host.h"
#include "travesty/message.h"
#include "travesty/view.h"

#include "instrument/ParameterTable.h"
#include "tests/formats/Score.h"
#include "tests/support/BuiltPlugin.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace {

template <class T>
v3_result queryInterface(T** object, const v3_tuid iid, void** out) {
    return static_cast<v3_funknown*>(static_cast<void*>(*object))->query_interface(object, iid, out);
}

// ---- The module --------------------------------------------------------------

class Vst3Module {
public:
    explicit Vst3Module(const char* path) {
#if defined(_WIN32)
        HMODULE module = LoadLibraryA(path);
        handle = module;
        if (!module) return;
        using Init = bool (*)();
        if (auto init = reinterpret_cast<Init>(GetProcAddress(module, "InitDll"))) entered = init();
        factoryEntry = reinterpret_cast<FactoryEntry>(GetProcAddress(module, "GetPluginFactory"));
#else
        handle = dlopen(path, RTLD_NOW | RTLD_LOCAL);
        if (!handle) return;
        using Entry = bool (*)(void*);
        if (auto entry = reinterpret_cast<Entry>(dlsym(handle, "ModuleEntry"))) entered = entry(handle);
        factoryEntry = reinterpret_cast<FactoryEntry>(dlsym(handle, "GetPluginFactory"));
#endif
        if (entered && factoryEntry) factory = static_cast<v3_plugin_factory**>(const_cast<void*>(factoryEntry()));
    }
    ~Vst3Module() {
        if (factory) v3_cpp_obj_unref(factory);
#if defined(_WIN32)
        using Exit = bool (*)();
        if (handle) {
            if (auto exit = reinterpret_cast<Exit>(GetProcAddress(static_cast<HMODULE>(handle), "ExitDll"))) exit();
            FreeLibrary(static_cast<HMODULE>(handle));
        }
#else
        using Exit = bool (*)();
        if (handle) {
            if (auto exit = reinterpret_cast<Exit>(dlsym(handle, "ModuleExit"))) exit();
            dlclose(handle);
        }
#endif
    }
    v3_plugin_factory** factory = nullptr;

private:
    using FactoryEntry = const void* (*)();
    void* handle = nullptr;
    bool entered = false;
    FactoryEntry factoryEntry = nullptr;
};

Vst3Module& vst3Module() {
    static Vst3Module module(HAMMERLYN2_VST3_PATH);
    return module;
}

// ---- Host objects: a COM-style object is a pointer to its function table ----

v3_result V3_API refuseInterface(void*, const v3_tuid, void** obj) {
    *obj = nullptr;
    return V3_NO_INTERFACE;
}
uint32_t V3_API staticRef(void*) { return 1; }

struct EventList {
    struct Table {
        v3_funknown unknown;
        v3_event_list list;
    };
    static uint32_t V3_API count(void* self) { return static_cast<uint32_t>(static_cast<EventList*>(self)->events.size()); }
    static v3_result V3_API get(void* self, int32_t index, v3_event* event) {
        auto& events = static_cast<EventList*>(self)->events;
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

struct ValueQueue {
    struct Table {
        v3_funknown unknown;
        v3_param_value_queue queue;
    };
    static v3_param_id V3_API id(void* self) { return static_cast<ValueQueue*>(self)->parameter; }
    static int32_t V3_API count(void* self) { return static_cast<int32_t>(static_cast<ValueQueue*>(self)->points.size()); }
    static v3_result V3_API point(void* self, int32_t index, int32_t* offset, double* value) {
        auto& points = static_cast<ValueQueue*>(self)->points;
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

struct ParameterChanges {
    struct Table {
        v3_funknown unknown;
        v3_param_changes changes;
    };
    static int32_t V3_API count(void* self) { return static_cast<int32_t>(static_cast<ParameterChanges*>(self)->queues.size()); }
    static v3_param_value_queue** V3_API data(void* self, int32_t index) {
        auto& queues = static_cast<ParameterChanges*>(self)->queues;
        if (index < 0 || static_cast<std::size_t>(index) >= queues.size()) return nullptr;
        return reinterpret_cast<v3_param_value_queue**>(&queues[static_cast<std::size_t>(index)]);
    }
    // Changes the plug-in reports back land in one queue that keeps nothing.
    static v3_param_value_queue** V3_API add(void* self, v3_param_id*, int32_t* index) {
        if (index) *index = 0;
        return reinterpret_cast<v3_param_value_queue**>(&static_cast<ParameterChanges*>(self)->sink);
    }
    static constexpr Table kTable = {{refuseInterface, staticRef, staticRef}, {count, data, add}};

    const Table* table = &kTable;  // first: the object is a pointer to its table
    ValueQueue sink;
    std::vector<ValueQueue> queues;
    void change(v3_param_id parameter, int32_t offset, double value) {
        auto queue = std::find_if(queues.begin(), queues.end(), [&](const ValueQueue& q) { return q.parameter == parameter; });
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
// bytes a read, as hosts writing to and reading from files may.
struct Stream {
    struct Table {
        v3_funknown unknown;
        v3_bstream stream;
    };
    static v3_result V3_API read(void* self, void* buffer, int32_t bytes, int32_t* done) {
        auto* s = static_cast<Stream*>(self);
        const std::size_t left = s->bytes.size() - s->position;
        // Reads of changing length leave stale bytes behind in the reader's buffer.
        const std::size_t chunk = (++s->reads % 3) ? 77 : 300;
        const std::size_t count = std::min<std::size_t>({static_cast<std::size_t>(std::max(bytes, 0)), left, chunk});
        if (count) std::memcpy(buffer, s->bytes.data() + s->position, count);
        s->position += count;
        if (done) *done = static_cast<int32_t>(count);
        return V3_OK;
    }
    static v3_result V3_API write(void* self, void* buffer, int32_t bytes, int32_t* done) {
        auto* s = static_cast<Stream*>(self);
        const int32_t count = std::min(bytes, 100);
        const auto* data = static_cast<const std::uint8_t*>(buffer);
        if (count > 0) s->bytes.insert(s->bytes.end(), data, data + count);
        if (done) *done = std::max(count, 0);
        return V3_OK;
    }
    static v3_result V3_API seek(void* self, int64_t position, int32_t mode, int64_t* result) {
        auto* s = static_cast<Stream*>(self);
        int64_t target = mode == 0 ? position : (mode == 1 ? static_cast<int64_t>(s->position) + position
                                                          : static_cast<int64_t>(s->bytes.size()) + position);
        target = std::clamp<int64_t>(target, 0, static_cast<int64_t>(s->bytes.size()));
        s->position = static_cast<std::size_t>(target);
        if (result) *result = target;
        return V3_OK;
    }
    static v3_result V3_API tell(void* self, int64_t* position) {
        *position = static_cast<int64_t>(static_cast<Stream*>(self)->position);
        return V3_OK;
    }
    static constexpr Table kTable = {{refuseInterface, staticRef, staticRef}, {read, write, seek, tell}};

    const Table* table = &kTable;
    std::vector<std::uint8_t> bytes;
    std::size_t position = 0;
    std::size_t reads = 0;
    v3_bstream** object() { return reinterpret_cast<v3_bstream**>(this); }
};


// The host application: its name, and the messages (with their attribute
// lists) through which a DPF panel and its controller talk.
struct AttributeList {
    struct Table {
        v3_funknown unknown;
        v3_attribute_list list;
    };
    static v3_result V3_API query(void* self, const v3_tuid iid, void** obj) {
        if (v3_tuid_match(iid, v3_funknown_iid) || v3_tuid_match(iid, v3_attribute_list_iid)) {
            ref(self);
            *obj = self;
            return V3_OK;
        }
        *obj = nullptr;
        return V3_NO_INTERFACE;
    }
    static uint32_t V3_API ref(void* self) { return ++static_cast<AttributeList*>(self)->references; }
    static uint32_t V3_API unref(void* self) {
        auto* list = static_cast<AttributeList*>(self);
        const uint32_t left = --list->references;
        if (left == 0) delete list;
        return left;
    }
    static v3_result V3_API setInt(void* self, const char* id, int64_t value) {
        static_cast<AttributeList*>(self)->ints[id] = value;
        return V3_OK;
    }
    static v3_result V3_API getInt(void* self, const char* id, int64_t* value) {
        auto& ints = static_cast<AttributeList*>(self)->ints;
        auto found = ints.find(id);
        if (found == ints.end()) return V3_INVALID_ARG;
        *value = found->second;
        return V3_OK;
    }
    static v3_result V3_API setFloat(void* self, const char* id, double value) {
        static_cast<AttributeList*>(self)->floats[id] = value;
        return V3_OK;
    }
    static v3_result V3_API getFloat(void* self, const char* id, double* value) {
        auto& floats = static_cast<AttributeList*>(self)->floats;
        auto found = floats.find(id);
        if (found == floats.end()) return V3_INVALID_ARG;
        *value = found->second;
        return V3_OK;
    }
    static v3_result V3_API setString(void* self, const char* id, const int16_t* text) {
        std::vector<int16_t> copy;
        for (; text && *text; ++text) copy.push_back(*text);
        copy.push_back(0);
        static_cast<AttributeList*>(self)->strings[id] = copy;
        return V3_OK;
    }
    static v3_result V3_API getString(void* self, const char* id, int16_t* text, uint32_t size) {
        auto& strings = static_cast<AttributeList*>(self)->strings;
        auto found = strings.find(id);
        if (found == strings.end() || size == 0) return V3_INVALID_ARG;
        const std::size_t count = std::min<std::size_t>(found->second.size(), size / sizeof(int16_t));
        std::memcpy(text, found->second.data(), count * sizeof(int16_t));
        text[count - 1] = 0;
        return V3_OK;
    }
    static v3_result V3_API setBinary(void* self, const char* id, const void* data, uint32_t size) {
        const auto* bytes = static_cast<const std::uint8_t*>(data);
        static_cast<AttributeList*>(self)->binaries[id].assign(bytes, bytes + size);
        return V3_OK;
    }
    static v3_result V3_API getBinary(void* self, const char* id, const void** data, uint32_t* size) {
        auto& binaries = static_cast<AttributeList*>(self)->binaries;
        auto found = binaries.find(id);
        if (found == binaries.end()) return V3_INVALID_ARG;
        *data = found->second.data();
        *size = static_cast<uint32_t>(found->second.size());
        return V3_OK;
    }
    static constexpr Table kTable = {{query, ref, unref},
                                     {setInt, getInt, setFloat, getFloat, setString, getString, setBinary, getBinary}};

    const Table* table = &kTable;
    std::atomic<uint32_t> references{1};
    std::map<std::string, int64_t> ints;
    std::map<std::string, double> floats;
    std::map<std::string, std::vector<int16_t>> strings;
    std::map<std::string, std::vector<std::uint8_t>> binaries;
};

struct Message {
    struct Table {
        v3_funknown unknown;
        v3_message message;
    };
    static v3_result V3_API query(void* self, const v3_tuid iid, void** obj) {
        if (v3_tuid_match(iid, v3_funknown_iid) || v3_tuid_match(iid, v3_message_iid)) {
            ref(self);
            *obj = self;
            return V3_OK;
        }
        *obj = nullptr;
        return V3_NO_INTERFACE;
    }
    static uint32_t V3_API ref(void* self) { return ++static_cast<Message*>(self)->references; }
    static uint32_t V3_API unref(void* self) {
        auto* message = static_cast<Message*>(self);
        const uint32_t left = --message->references;
        if (left == 0) {
            AttributeList::unref(message->attributes);
            delete message;
        }
        return left;
    }
    static const char* V3_API id(void* self) { return static_cast<Message*>(self)->name.c_str(); }
    static void V3_API setId(void* self, const char* id) { static_cast<Message*>(self)->name = id ? id : ""; }
    static v3_attribute_list** V3_API attributesOf(void* self) {
        return reinterpret_cast<v3_attribute_list**>(static_cast<Message*>(self)->attributes);
    }
    static constexpr Table kTable = {{query, ref, unref}, {id, setId, attributesOf}};

    const Table* table = &kTable;
    std::atomic<uint32_t> references{1};
    std::string name;
    AttributeList* attributes = new AttributeList;
};

struct HostApplication {
    struct Table {
        v3_funknown unknown;
        v3_host_application host;
    };
    static v3_result V3_API query(void* self, const v3_tuid iid, void** obj) {
        if (v3_tuid_match(iid, v3_funknown_iid) || v3_tuid_match(iid, v3_host_application_iid)) {
            *obj = self;
            return V3_OK;
        }
        *obj = nullptr;
        return V3_NO_INTERFACE;
    }
    static v3_result V3_API name(void*, v3_str_128 text) {
        const char* host = "Hammerlyn2 test host";
        int i = 0;
        for (; host[i]; ++i) text[i] = host[i];
        text[i] = 0;
        return V3_OK;
    }
    static v3_result V3_API create(void*, v3_tuid cid, v3_tuid iid, void** obj) {
        if (v3_tuid_match(cid, v3_message_iid) && v3_tuid_match(iid, v3_message_iid)) {
            *obj = new Message;
            return V3_OK;
        }
        if (v3_tuid_match(cid, v3_attribute_list_iid) && v3_tuid_match(iid, v3_attribute_list_iid)) {
            *obj = new AttributeList;
            return V3_OK;
        }
        *obj = nullptr;
        return V3_NO_INTERFACE;
    }
    static constexpr Table kTable = {{query, staticRef, staticRef}, {name, create}};

    const Table* table = &kTable;
    v3_funknown** object() { return reinterpret_cast<v3_funknown**>(this); }
};

HostApplication hostApplication;

std::string narrow(const int16_t* text) {
    std::string out;
    for (; *text; ++text) out += static_cast<char>(*text);
    return out;
}

// ---- One instance: component, processor and controller ---------------------

class Vst3Instance {
public:
    explicit Vst3Instance(v3_plugin_factory** factory) {
        v3_class_info info{};
        if (!factory || v3_cpp_obj(factory)->get_class_info(factory, 0, &info) != V3_OK) return;
        void* object = nullptr;
        if (v3_cpp_obj(factory)->create_instance(factory, info.class_id, v3_component_iid, &object) != V3_OK) return;
        component = static_cast<v3_component**>(object);
        if (v3_cpp_obj_initialize(component, hostApplication.object()) != V3_OK) return;
        if (queryInterface(component, v3_audio_processor_iid, &object) == V3_OK)
            processor = static_cast<v3_audio_processor**>(object);
        // The controller is the component itself, or (builds with a panel) a class of its own.
        if (queryInterface(component, v3_edit_controller_iid, &object) == V3_OK) {
            controller = static_cast<v3_edit_controller**>(object);
        } else {
            v3_tuid controllerClass{};
            if (v3_cpp_obj(component)->get_controller_class_id(component, controllerClass) == V3_OK &&
                v3_cpp_obj(factory)->create_instance(factory, controllerClass, v3_edit_controller_iid, &object) == V3_OK) {
                controller = static_cast<v3_edit_controller**>(object);
                separateController = v3_cpp_obj_initialize(controller, hostApplication.object()) == V3_OK;
            }
        }
        if (controller && queryInterface(controller, v3_midi_mapping_iid, &object) == V3_OK)
            midiMapping = static_cast<v3_midi_mapping**>(object);
    }
    ~Vst3Instance() {
        if (processing) v3_cpp_obj(processor)->set_processing(processor, false);
        if (active) v3_cpp_obj(component)->set_active(component, false);
        if (midiMapping) v3_cpp_obj_unref(midiMapping);
        if (controller) {
            if (separateController) v3_cpp_obj_terminate(controller);
            v3_cpp_obj_unref(controller);
        }
        if (processor) v3_cpp_obj_unref(processor);
        if (component) {
            v3_cpp_obj_terminate(component);
            v3_cpp_obj_unref(component);
        }
    }
    bool ready() const { return component && processor && controller && midiMapping; }

    bool start(double rate, int32_t maxFrames) {
        v3_cpp_obj(component)->activate_bus(component, V3_AUDIO, V3_OUTPUT, 0, true);
        v3_cpp_obj(component)->activate_bus(component, V3_EVENT, V3_INPUT, 0, true);
        v3_process_setup setup{V3_REALTIME, V3_SAMPLE_32, maxFrames, rate};
        if (v3_cpp_obj(processor)->setup_processing(processor, &setup) != V3_OK) return false;
        active = v3_cpp_obj(component)->set_active(component, true) == V3_OK;
        processing = v3_cpp_obj(processor)->set_processing(processor, true) == V3_OK;
        return active && processing;
    }

    // The id of a parameter by its title, or of a MIDI controller (128 pitch bend ... as the mapping says).
    v3_param_id parameterId(const std::string& title) {
        for (int32_t i = 0, n = v3_cpp_obj(controller)->get_parameter_count(controller); i < n; ++i) {
            v3_param_info info{};
            if (v3_cpp_obj(controller)->get_parameter_info(controller, i, &info) == V3_OK && narrow(info.title) == title)
                return info.param_id;
        }
        return 0xFFFFFFFFu;
    }
    bool controllerId(int16_t cc, v3_param_id* id) {
        return v3_cpp_obj(midiMapping)->get_midi_controller_assignment(midiMapping, 0, 0, cc, id) == V3_OK;
    }

    bool process(EventList& events, ParameterChanges& changes, float* left, float* right, int32_t frames) {
        float* channels[2] = {left, right};
        v3_audio_bus_buffers output{};
        output.num_channels = 2;
        output.channel_buffers_32 = channels;
        v3_process_data data{};
        data.process_mode = V3_REALTIME;
        data.symbolic_sample_size = V3_SAMPLE_32;
        data.nframes = frames;
        data.num_output_buses = 1;
        data.outputs = &output;
        data.input_params = changes.object();
        data.output_params = reported.object();
        data.input_events = events.object();
        return v3_cpp_obj(processor)->process(processor, &data) == V3_OK;
    }

    v3_component** component = nullptr;
    v3_audio_processor** processor = nullptr;
    v3_edit_controller** controller = nullptr;
    v3_midi_mapping** midiMapping = nullptr;
    bool separateController = false;

private:
    ParameterChanges reported;
    bool active = false;
    bool processing = false;
};

// The comparison piece through the VST3 build, in the comparison blocks.
std::vector<float> renderVst3(Vst3Instance& vst3, bool withSettings) {
    std::vector<float> left(kScoreFrames), right(kScoreFrames);
    v3_param_id bend = 0, cc123 = 0, cc126 = 0;
    EXPECT_TRUE(vst3.controllerId(129, &bend) || vst3.controllerId(128, &bend));
    EXPECT_TRUE(vst3.controllerId(123, &cc123));
    EXPECT_TRUE(vst3.controllerId(126, &cc126));
    std::vector<std::pair<v3_param_id, float>> settings;
    if (withSettings)
        for (const ScoreSetting& setting : comparisonSettings()) {
            char name[kParameterTextBytes];
            formatParameterName(setting.index, name);
            settings.emplace_back(vst3.parameterId(name), setting.value);
        }
    std::size_t next = 0;
    std::uint32_t start = 0;
    const auto& score = comparisonScore();
    for (std::uint32_t frames : comparisonBlocks()) {
        EventList events;
        ParameterChanges changes;
        if (start == 0)
            for (const auto& [id, value] : settings) changes.change(id, 0, value);
        for (; next < score.size() && score[next].frame < start + frames; ++next) {
            const ScoreEvent& e = score[next];
            const int32_t offset = static_cast<int32_t>(e.frame - start);
            v3_event event{};
            event.sample_offset = offset;
            switch (e.status & 0xF0) {
            case 0x90:
                event.type = V3_EVENT_NOTE_ON;
                event.note_on = {0, e.data1, 0.0f, e.data2 / 127.0f, 0, -1};
                events.events.push_back(event);
                break;
            case 0x80:
                event.type = V3_EVENT_NOTE_OFF;
                event.note_off = {0, e.data1, e.data2 / 127.0f, -1, 0.0f};
                events.events.push_back(event);
                break;
            case 0xE0:
                changes.change(bend, offset, ((e.data2 << 7) | e.data1) / 16383.0);
                break;
            case 0xB0:
                changes.change(e.data1 == 123 ? cc123 : cc126, offset, e.data2 / 127.0);
                break;
            }
        }
        EXPECT_TRUE(vst3.process(events, changes, left.data() + start, right.data() + start, static_cast<int32_t>(frames)));
        start += frames;
    }
    left.insert(left.end(), right.begin(), right.end());
    return left;
}

double parameterValue(Vst3Instance& vst3, int index) {
    char name[kParameterTextBytes];
    formatParameterName(index, name);
    return v3_cpp_obj(vst3.controller)->get_parameter_normalised(vst3.controller, vst3.parameterId(name));
}

}  // namespace

TEST(Vst3Format, AnnouncesItsIdentityAndTheFactoryPrograms) {
    v3_plugin_factory** factory = vst3Module().factory;
    ASSERT_NE(factory, nullptr) << "cannot load " << HAMMERLYN2_VST3_PATH;
    v3_factory_info factoryInfo{};
    ASSERT_EQ(v3_cpp_obj(factory)->get_factory_info(factory, &factoryInfo), V3_OK);
    EXPECT_STREQ(factoryInfo.vendor, "Quillfeather");
    void* object = nullptr;
    ASSERT_EQ(queryInterface(factory, v3_plugin_factory_2_iid, &object), V3_OK);
    auto** factory2 = static_cast<v3_plugin_factory_2**>(object);
    v3_class_info_2 info{};
    ASSERT_EQ(v3_cpp_obj(factory2)->get_class_info_2(factory2, 0, &info), V3_OK);
    EXPECT_STREQ(info.name, "Hammerlyn2");
    EXPECT_STREQ(info.category, "Audio Module Class");
    EXPECT_STREQ(info.sub_categories, "Instrument|Synth");
    EXPECT_STREQ(info.vendor, "Quillfeather");
    EXPECT_STREQ(info.version, "1.0.0");
    // The class id is fixed for good: saved songs find the plug-in through it.
    const unsigned char expectedId[16] = {'D', 'P', 'F', ' ', 'c', 'l', 'a', 's', 'Q', 'f', 'H', '2', 0, 0, 0, 0};
    unsigned char id[16];
    std::memcpy(id, info.class_id, 16);
    // DPF keeps the id as four 32-bit words in the machine's (little-endian) order.
    for (int w = 0; w < 4; ++w) std::reverse(id + 4 * w, id + 4 * w + 4);
    EXPECT_EQ(std::memcmp(id, expectedId, 16), 0);
    v3_cpp_obj_unref(factory2);

    Vst3Instance vst3(factory);
    ASSERT_TRUE(vst3.ready());
    // DPF offers the programs as the program-change parameter, a list of the eight names.
    auto vst2 = startedInstance();
    ASSERT_NE(vst2, nullptr);
    v3_param_info program{};
    for (int32_t i = 0, n = v3_cpp_obj(vst3.controller)->get_parameter_count(vst3.controller); i < n; ++i) {
        v3_param_info info{};
        if (v3_cpp_obj(vst3.controller)->get_parameter_info(vst3.controller, i, &info) == V3_OK &&
            (info.flags & V3_PARAM_PROGRAM_CHANGE))
            program = info;
    }
    ASSERT_TRUE(program.flags & V3_PARAM_PROGRAM_CHANGE);
    ASSERT_EQ(program.step_count, 7);
    for (int32_t p = 0; p < 8; ++p) {
        v3_str_128 name{};
        ASSERT_EQ(v3_cpp_obj(vst3.controller)->get_parameter_string_for_value(vst3.controller, program.param_id, p / 7.0, name),
                  V3_OK);
        vst2->setProgram(p);
        EXPECT_EQ(narrow(name), vst2->programName()) << p;
    }
    // Texts of the 16 parameters, as the VST 2 build shows them.
    for (int index = 0; index < 16; ++index) {
        char name[kParameterTextBytes];
        formatParameterName(index, name);
        const v3_param_id id = vst3.parameterId(name);
        ASSERT_NE(id, 0xFFFFFFFFu) << name;
        v3_str_128 text{};
        ASSERT_EQ(v3_cpp_obj(vst3.controller)->get_parameter_string_for_value(vst3.controller, id, 0.3, text), V3_OK);
        vst2->setParameter(index, 0.3f);
        EXPECT_EQ(narrow(text), vst2->parameterText(effGetParamDisplay, index) + " " +
                                    vst2->parameterText(effGetParamLabel, index));
    }
}

TEST(Vst3Format, RendersTheVst2BuildsBitsWithBendsAndControllersAtTheirFrames) {
    Vst3Instance vst3(vst3Module().factory);
    ASSERT_TRUE(vst3.ready());
    ASSERT_TRUE(vst3.start(44100.0, static_cast<int32_t>(kComparisonMaxBlock)));
    const std::vector<float> reference = renderVst2Reference(comparisonScore(), true);
    const std::vector<float> rendered = renderVst3(vst3, true);
    ASSERT_EQ(rendered.size(), reference.size());
    EXPECT_EQ(firstDifference(rendered, reference), rendered.size()) << "first differing sample (left, then right)";
}

TEST(Vst3Format, ComponentStateRoundTripIsExactUnderADecimalCommaLocale) {
    const char* current = std::setlocale(LC_ALL, nullptr);
    const std::string saved = current ? current : "C";
    bool comma = false;
    for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "German_Germany.1252"})
        if (std::setlocale(LC_ALL, name)) {
            comma = true;
            break;
        }
#if !defined(_WIN32)
    ASSERT_TRUE(comma) << "de_DE.UTF-8 is missing: cmake/install-deps.sh generates it";
#endif
    Vst3Instance original(vst3Module().factory);
    ASSERT_TRUE(original.ready());
    ASSERT_TRUE(original.start(48000.0, 512));
    // None equal to program 0's value: DPF passes on only changes, while the
    // VST 2 build re-applies a body band set to its own value (a last-bit difference).
    const float values[16] = {0.8f, 1.0f / 3.0f, 0.0f, 1.0f, 0.123456789f, 2.0f / 3.0f, 1e-7f, 0.55f,
                              0.999999f, 0.25f, 0.1f, 0.7f, 0.3f, 0.45f, 0.05f, 0.6f};
    {
        EventList events;
        ParameterChanges changes;
        for (int i = 0; i < 16; ++i) {
            char name[kParameterTextBytes];
            formatParameterName(i, name);
            changes.change(original.parameterId(name), 0, values[i]);
        }
        std::vector<float> left(64), right(64);
        ASSERT_TRUE(original.process(events, changes, left.data(), right.data(), 64));
    }
    Stream out;
    ASSERT_EQ(v3_cpp_obj(original.component)->get_state(original.component, out.object()), V3_OK);
    ASSERT_GT(out.bytes.size(), 1000u);

    Vst3Instance restored(vst3Module().factory);
    ASSERT_TRUE(restored.ready());
    ASSERT_TRUE(restored.start(48000.0, 512));
    Stream in;
    in.bytes = out.bytes;
    ASSERT_EQ(v3_cpp_obj(restored.component)->set_state(restored.component, in.object()), V3_OK);
    if (restored.separateController) {
        Stream again;
        again.bytes = out.bytes;
        ASSERT_EQ(v3_cpp_obj(restored.controller)->set_component_state(restored.controller, again.object()), V3_OK);
    }
    for (int i = 0; i < 16; ++i) EXPECT_EQ(static_cast<float>(parameterValue(restored, i)), values[i]) << i;
    Stream resaved;
    ASSERT_EQ(v3_cpp_obj(restored.component)->get_state(restored.component, resaved.object()), V3_OK);
    EXPECT_EQ(resaved.bytes, out.bytes);
    // Both sound alike from here on (after the same number of frames).
    {
        EventList events;
        ParameterChanges none;
        std::vector<float> left(64), right(64);
        ASSERT_TRUE(restored.process(events, none, left.data(), right.data(), 64));
    }
    EventList note;
    v3_event event{};
    event.type = V3_EVENT_NOTE_ON;
    event.sample_offset = 5;
    event.note_on = {0, 57, 0.0f, 99 / 127.0f, 0, -1};
    note.events.push_back(event);
    ParameterChanges none;
    std::vector<float> a(512), b(512), c(512), d(512);
    ASSERT_TRUE(original.process(note, none, a.data(), b.data(), 512));
    ASSERT_TRUE(restored.process(note, none, c.data(), d.data(), 512));
    EXPECT_EQ(a, c);
    EXPECT_EQ(b, d);
    // And as the VST 2 build sounds with the same values.
    {
        auto v = startedInstance(48000.0f, 512);
        for (int i = 0; i < 16; ++i) v->setParameter(i, values[i]);
        v->process(64);
        v->sendMidi({{5, 0x90, 57, 99}});
        v->process(512);
        EXPECT_EQ(v->left(), a) << "VST 2 against the original";
        EXPECT_EQ(v->left(), c) << "VST 2 against the restored instance";
    }
    // A damaged state changes nothing and breaks nothing.
    Stream damaged;
    damaged.bytes.assign(out.bytes.begin(), out.bytes.begin() + static_cast<std::ptrdiff_t>(out.bytes.size() / 2));
    v3_cpp_obj(restored.component)->set_state(restored.component, damaged.object());
    ASSERT_TRUE(restored.process(note, none, c.data(), d.data(), 512));
    for (float sample : c) ASSERT_TRUE(sample == sample);
    std::setlocale(LC_ALL, saved.c_str());
}

#if defined(_WIN32)
// The panel opens as a child of the host's window, at the panel's size, and
// goes again, twice over.
TEST(Vst3Format, PanelOpensInTheHostWindowAndClosesAgain) {
    Vst3Instance vst3(vst3Module().factory);
    ASSERT_TRUE(vst3.ready());
    v3_plugin_view** view = v3_cpp_obj(vst3.controller)->create_view(vst3.controller, "editor");
    ASSERT_NE(view, nullptr) << "no panel";
    ASSERT_EQ(v3_cpp_obj(view)->is_platform_type_supported(view, "HWND"), V3_OK);
    v3_view_rect size{};
    ASSERT_EQ(v3_cpp_obj(view)->get_size(view, &size), V3_OK);
    EXPECT_EQ(size.right - size.left, 512);
    EXPECT_EQ(size.bottom - size.top, 272);
    HWND parent = CreateWindowExA(0, "STATIC", "host", WS_OVERLAPPEDWINDOW, 0, 0, 700, 400, nullptr, nullptr,
                                  GetModuleHandleA(nullptr), nullptr);
    ASSERT_NE(parent, nullptr);
    for (int round = 0; round < 2; ++round) {
        ASSERT_EQ(v3_cpp_obj(view)->attached(view, parent, "HWND"), V3_OK);
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&message);
        HWND child = GetWindow(parent, GW_CHILD);
        ASSERT_NE(child, nullptr) << "round " << round;
        RECT rect{};
        GetClientRect(child, &rect);
        EXPECT_EQ(rect.right - rect.left, 512);
        EXPECT_EQ(rect.bottom - rect.top, 272);
        ASSERT_EQ(v3_cpp_obj(view)->removed(view), V3_OK);
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&message);
        EXPECT_EQ(GetWindow(parent, GW_CHILD), nullptr) << "round " << round;
    }
    v3_cpp_obj_unref(view);
    DestroyWindow(parent);
}
#endif

#if defined(_WIN32)
// The host's content scale of 2, given before the panel opens, gives the 2x
// size and the 2x panel in the host's window.
TEST(Vst3Format, ContentScaleTwoGivesTheDoublePanelAndSize) {
    Vst3Instance vst3(vst3Module().factory);
    ASSERT_TRUE(vst3.ready());
    v3_plugin_view** view = v3_cpp_obj(vst3.controller)->create_view(vst3.controller, "editor");
    ASSERT_NE(view, nullptr) << "no panel";
    void* object = nullptr;
    ASSERT_EQ(queryInterface(view, v3_plugin_view_content_scale_iid, &object), V3_OK);
    auto** scale = static_cast<v3_plugin_view_content_scale**>(object);
    v3_cpp_obj(scale)->set_content_scale_factor(scale, 2.0f);
    v3_view_rect size{};
    ASSERT_EQ(v3_cpp_obj(view)->get_size(view, &size), V3_OK);
    EXPECT_EQ(size.right - size.left, 1024);
    EXPECT_EQ(size.bottom - size.top, 544);
    HWND parent = CreateWindowExA(0, "STATIC", "host", WS_OVERLAPPEDWINDOW, 0, 0, 1100, 640, nullptr, nullptr,
                                  GetModuleHandleA(nullptr), nullptr);
    ASSERT_NE(parent, nullptr);
    ASSERT_EQ(v3_cpp_obj(view)->attached(view, parent, "HWND"), V3_OK);
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&message);
    HWND child = GetWindow(parent, GW_CHILD);
    ASSERT_NE(child, nullptr);
    RECT rect{};
    GetClientRect(child, &rect);
    EXPECT_EQ(rect.right - rect.left, 1024);
    EXPECT_EQ(rect.bottom - rect.top, 544);
    size = {};
    ASSERT_EQ(v3_cpp_obj(view)->get_size(view, &size), V3_OK);
    EXPECT_EQ(size.right - size.left, 1024);
    EXPECT_EQ(size.bottom - size.top, 544);
    ASSERT_EQ(v3_cpp_obj(view)->removed(view), V3_OK);
    v3_cpp_obj_unref(scale);
    v3_cpp_obj_unref(view);
    DestroyWindow(parent);
}
#endif
