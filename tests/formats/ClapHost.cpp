#include "tests/formats/ClapHost.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

ClapModule::ClapModule(const std::string& path) {
#if defined(_WIN32)
    HMODULE module = LoadLibraryA(path.c_str());
    handle = module;
    if (module) entry = reinterpret_cast<const clap_plugin_entry_t*>(GetProcAddress(module, "clap_entry"));
#else
    handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle) entry = static_cast<const clap_plugin_entry_t*>(dlsym(handle, "clap_entry"));
#endif
    if (!handle) {
        failure = "cannot load " + path;
        return;
    }
    if (!entry || !clap_version_is_compatible(entry->clap_version)) {
        failure = "no compatible clap_entry in " + path;
        return;
    }
    if (!entry->init(path.c_str())) {
        entry = nullptr;
        failure = "clap_entry.init failed";
        return;
    }
    factory = static_cast<const clap_plugin_factory_t*>(entry->get_factory(CLAP_PLUGIN_FACTORY_ID));
    if (!factory) failure = "no plug-in factory";
}

ClapModule::~ClapModule() {
    if (entry) entry->deinit();
#if defined(_WIN32)
    if (handle) FreeLibrary(static_cast<HMODULE>(handle));
#else
    if (handle) dlclose(handle);
#endif
}

namespace {

// The window extension a panel needs: every request is granted (resizes unless
// the test refuses them; they are counted) and nothing else happens.
const clap_host_gui_t kHostGui = {
    [](const clap_host_t*) {},
    [](const clap_host_t* host, uint32_t, uint32_t) {
        auto* self = static_cast<ClapInstance*>(host->host_data);
        ++self->resizeRequests;
        return !self->refuseResizes;
    },
    [](const clap_host_t*) { return true; },
    [](const clap_host_t*) { return true; },
    [](const clap_host_t*, bool) {},
};

}  // namespace

// Timers for the panel, fired by ClapInstance::runTimers().
struct ClapHostTimers {
    static bool add(const clap_host_t* host, uint32_t, clap_id* id) {
        auto* self = static_cast<ClapInstance*>(host->host_data);
        *id = self->nextTimer++;
        self->timers.push_back(*id);
        return true;
    }
    static bool remove(const clap_host_t* host, clap_id id) {
        auto& timers = static_cast<ClapInstance*>(host->host_data)->timers;
        const auto found = std::find(timers.begin(), timers.end(), id);
        if (found == timers.end()) return false;
        timers.erase(found);
        return true;
    }
};

namespace {

const clap_host_timer_support_t kHostTimers = {ClapHostTimers::add, ClapHostTimers::remove};

const void* hostExtension(const clap_host_t*, const char* id) {
    if (std::strcmp(id, CLAP_EXT_GUI) == 0) return &kHostGui;
    if (std::strcmp(id, CLAP_EXT_TIMER_SUPPORT) == 0) return &kHostTimers;
    return nullptr;
}
void hostRequest(const clap_host_t*) {}

// A block's events as CLAP's input list, each in its own record.
struct EventList {
    std::vector<clap_event_note_t> notes;
    std::vector<clap_event_midi_t> midi;
    std::vector<clap_event_param_value_t> values;
    std::vector<std::unique_ptr<unsigned char[]>> shortened;
    std::vector<const clap_event_header_t*> order;
    clap_input_events_t list{};

    // The event as the test asked: its space, and its declared size with only
    // that many bytes behind it when shorter than its type.
    template <class Event>
    void add(std::vector<Event>& kept, const Event& event, const ClapEvent& asked) {
        kept.push_back(event);
        clap_event_header_t& header = kept.back().header;
        header.space_id = asked.space;
        if (asked.size == 0 || asked.size >= sizeof(Event)) {
            if (asked.size) header.size = asked.size;
            order.push_back(&header);
            return;
        }
        header.size = asked.size;
        shortened.emplace_back(new unsigned char[asked.size]);
        std::memcpy(shortened.back().get(), &kept.back(), asked.size);
        order.push_back(reinterpret_cast<const clap_event_header_t*>(shortened.back().get()));
    }

    explicit EventList(const std::vector<ClapEvent>& events) {
        notes.reserve(events.size());
        midi.reserve(events.size());
        values.reserve(events.size());
        for (const ClapEvent& event : events) {
            switch (event.kind) {
            case ClapEvent::NoteOn:
            case ClapEvent::NoteOff: {
                clap_event_note_t note{};
                note.header = {sizeof(note), event.frame, CLAP_CORE_EVENT_SPACE_ID,
                               static_cast<uint16_t>(event.kind == ClapEvent::NoteOn ? CLAP_EVENT_NOTE_ON : CLAP_EVENT_NOTE_OFF),
                               0};
                note.note_id = -1;
                note.port_index = 0;
                note.channel = 0;
                note.key = static_cast<int16_t>(event.key);
                note.velocity = event.velocity;
                add(notes, note, event);
                break;
            }
            case ClapEvent::Midi: {
                clap_event_midi_t message{};
                message.header = {sizeof(message), event.frame, CLAP_CORE_EVENT_SPACE_ID, CLAP_EVENT_MIDI, 0};
                message.port_index = 0;
                std::memcpy(message.data, event.bytes, 3);
                add(midi, message, event);
                break;
            }
            case ClapEvent::Parameter: {
                clap_event_param_value_t value{};
                value.header = {sizeof(value), event.frame, CLAP_CORE_EVENT_SPACE_ID, CLAP_EVENT_PARAM_VALUE, 0};
                value.param_id = event.parameter;
                value.cookie = nullptr;
                value.note_id = -1;
                value.port_index = -1;
                value.channel = -1;
                value.key = -1;
                value.value = event.value;
                add(values, value, event);
                break;
            }
            }
        }
        list.ctx = this;
        list.size = [](const clap_input_events_t* self) -> uint32_t {
            return static_cast<uint32_t>(static_cast<const EventList*>(self->ctx)->order.size());
        };
        list.get = [](const clap_input_events_t* self, uint32_t index) -> const clap_event_header_t* {
            const auto& order = static_cast<const EventList*>(self->ctx)->order;
            return index < order.size() ? order[index] : nullptr;
        };
    }
};

const clap_output_events_t kIgnoredOutput = {nullptr, [](const clap_output_events_t*, const clap_event_header_t*) {
                                                 return true;
                                             }};

struct MemoryStream {
    std::vector<std::uint8_t> bytes;
    std::size_t position = 0;
    std::size_t reads = 0;
    std::size_t shortRead = 77;
    std::int64_t overReport = 0;
    std::size_t failAfter = SIZE_MAX;
};

}  // namespace

std::unique_ptr<ClapInstance> ClapInstance::create(const ClapModule& module, const char* id) {
    if (!module.loaded()) return nullptr;
    std::unique_ptr<ClapInstance> self(new ClapInstance());
    self->host.clap_version = CLAP_VERSION;
    self->host.host_data = self.get();
    self->host.name = "Hammerlyn2 test host";
    self->host.vendor = "Quillfeather";
    self->host.url = "";
    self->host.version = "1.0.0";
    self->host.get_extension = hostExtension;
    self->host.request_restart = hostRequest;
    self->host.request_process = hostRequest;
    self->host.request_callback = hostRequest;
    self->instance = module.pluginFactory()->create_plugin(module.pluginFactory(), &self->host, id);
    if (!self->instance) return nullptr;
    if (!self->instance->init(self->instance)) {
        self->instance->destroy(self->instance);
        self->instance = nullptr;
        return nullptr;
    }
    self->params = static_cast<const clap_plugin_params_t*>(self->instance->get_extension(self->instance, CLAP_EXT_PARAMS));
    self->state = static_cast<const clap_plugin_state_t*>(self->instance->get_extension(self->instance, CLAP_EXT_STATE));
    return self;
}

ClapInstance::~ClapInstance() {
    if (!instance) return;
    deactivate();
    instance->destroy(instance);
}

bool ClapInstance::activate(double rate, std::uint32_t maxFrames) {
    deactivate();
    active = instance->activate(instance, rate, 1, maxFrames);
    if (active) processing = instance->start_processing(instance);
    return active && processing;
}

void ClapInstance::deactivate() {
    if (processing) instance->stop_processing(instance);
    processing = false;
    if (active) instance->deactivate(instance);
    active = false;
}

std::uint32_t ClapInstance::parameterCount() const { return params ? params->count(instance) : 0; }

bool ClapInstance::parameterInfo(std::uint32_t index, clap_param_info_t* info) const {
    return params && params->get_info(instance, index, info);
}

double ClapInstance::parameterValue(clap_id id) const {
    double value = -1.0;
    if (!params || !params->get_value(instance, id, &value)) return -1.0;
    return value;
}

std::string ClapInstance::valueText(clap_id id, double value) const {
    char text[256] = {};
    if (!params || !params->value_to_text(instance, id, value, text, sizeof(text))) return "<refused>";
    return text;
}

bool ClapInstance::textValue(clap_id id, const char* text, double* value) const {
    return params && params->text_to_value(instance, id, text, value);
}

void ClapInstance::flushParameters(const std::vector<ClapEvent>& events) {
    if (!params) return;
    EventList list(events);
    params->flush(instance, &list.list, &kIgnoredOutput);
}

bool ClapInstance::process(const std::vector<ClapEvent>& events, float* left, float* right, std::uint32_t frames) {
    if (!processing) return false;
    EventList list(events);
    std::vector<float*> channels = {left, right};
    std::vector<std::vector<float>> extra(outputChannels > 2 ? outputChannels - 2 : 0, std::vector<float>(frames));
    for (auto& channel : extra) channels.push_back(channel.data());
    clap_audio_buffer_t output{};
    output.data32 = channels.data();
    output.channel_count = outputChannels;
    clap_process_t process{};
    process.steady_time = steadyTime;
    process.frames_count = frames;
    process.audio_outputs = &output;
    process.audio_outputs_count = 1;
    process.in_events = &list.list;
    const clap_output_events_t output_events = {
        this, [](const clap_output_events_t* self, const clap_event_header_t* event) {
            auto& kept = static_cast<ClapInstance*>(self->ctx)->outEvents;
            if (event->space_id != CLAP_CORE_EVENT_SPACE_ID) return true;
            if (event->type == CLAP_EVENT_PARAM_VALUE) {
                const auto* value = reinterpret_cast<const clap_event_param_value_t*>(event);
                kept.push_back({event->type, value->param_id, value->value});
            } else if (event->type == CLAP_EVENT_PARAM_GESTURE_BEGIN || event->type == CLAP_EVENT_PARAM_GESTURE_END) {
                const auto* gesture = reinterpret_cast<const clap_event_param_gesture_t*>(event);
                kept.push_back({event->type, gesture->param_id, 0.0});
            }
            return true;
        }};
    process.out_events = &output_events;
    steadyTime += frames;
    const clap_process_status status = instance->process(instance, &process);
    return status != CLAP_PROCESS_ERROR;
}

void ClapInstance::runTimers() {
    const auto* support =
        static_cast<const clap_plugin_timer_support_t*>(instance->get_extension(instance, CLAP_EXT_TIMER_SUPPORT));
    if (!support) return;
    const std::vector<clap_id> now = timers;
    for (clap_id id : now) support->on_timer(instance, id);
}

std::vector<std::uint8_t> ClapInstance::saveState() const {
    MemoryStream memory;
    clap_ostream_t stream{&memory, [](const clap_ostream_t* self, const void* data, uint64_t size) -> int64_t {
                              auto& out = static_cast<MemoryStream*>(self->ctx)->bytes;
                              const auto* bytes = static_cast<const std::uint8_t*>(data);
                              // A host may take less than offered: take at most 100 bytes a call.
                              const uint64_t taken = size < 100 ? size : 100;
                              out.insert(out.end(), bytes, bytes + taken);
                              return static_cast<int64_t>(taken);
                          }};
    if (!state || !state->save(instance, &stream)) return {};
    return memory.bytes;
}

bool ClapInstance::loadState(const std::vector<std::uint8_t>& data, std::size_t shortRead) const {
    MemoryStream memory{data, 0, 0, shortRead, readOverReport, failReadAfter};
    clap_istream_t stream{&memory, [](const clap_istream_t* self, void* buffer, uint64_t size) -> int64_t {
                              auto* in = static_cast<MemoryStream*>(self->ctx);
                              if (in->position >= in->failAfter) return -1;
                              const std::size_t left = in->bytes.size() - in->position;
                              // Short reads of changing length, as a host reading from a file may give.
                              std::size_t count = size < left ? static_cast<std::size_t>(size) : left;
                              const std::size_t chunk = (++in->reads % 3) ? in->shortRead : 300;
                              if (count > chunk) count = chunk;
                              if (count) std::memcpy(buffer, in->bytes.data() + in->position, count);
                              in->position += count;
                              return static_cast<int64_t>(count) + (count ? in->overReport : 0);
                          }};
    const bool loaded = state && state->load(instance, &stream);
    bytesRead = memory.position;
    return loaded;
}
