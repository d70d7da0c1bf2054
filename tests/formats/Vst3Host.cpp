#include "tests/formats/Vst3Host.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <map>

#include "travesty/host.h"
#include "travesty/message.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

Vst3Module::Vst3Module(const char* path) {
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

Vst3Module::~Vst3Module() {
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

namespace {

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

}  // namespace

std::string narrow(const int16_t* text) {
    std::string out;
    for (; *text; ++text) out += static_cast<char>(*text);
    return out;
}

Vst3Instance::Vst3Instance(v3_plugin_factory** factory) {
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

Vst3Instance::~Vst3Instance() {
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

bool Vst3Instance::start(double rate, int32_t maxFrames) {
    v3_cpp_obj(component)->activate_bus(component, V3_AUDIO, V3_OUTPUT, 0, true);
    v3_cpp_obj(component)->activate_bus(component, V3_EVENT, V3_INPUT, 0, true);
    v3_process_setup setup{V3_REALTIME, V3_SAMPLE_32, maxFrames, rate};
    if (v3_cpp_obj(processor)->setup_processing(processor, &setup) != V3_OK) return false;
    active = v3_cpp_obj(component)->set_active(component, true) == V3_OK;
    processing = v3_cpp_obj(processor)->set_processing(processor, true) == V3_OK;
    return active && processing;
}


v3_param_id Vst3Instance::parameterId(const std::string& title) {
    for (int32_t i = 0, n = v3_cpp_obj(controller)->get_parameter_count(controller); i < n; ++i) {
        v3_param_info info{};
        if (v3_cpp_obj(controller)->get_parameter_info(controller, i, &info) == V3_OK && narrow(info.title) == title)
            return info.param_id;
    }
    return 0xFFFFFFFFu;
}

bool Vst3Instance::controllerId(int16_t cc, v3_param_id* id) {
    return v3_cpp_obj(midiMapping)->get_midi_controller_assignment(midiMapping, 0, 0, cc, id) == V3_OK;
}


bool Vst3Instance::process(Vst3EventList& events, Vst3ParameterChanges& changes, float* left, float* right, int32_t frames) {
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

