#include "tests/formats/Lv2Host.h"

#include <cstring>

#include <dlfcn.h>

#include "lv2/atom.h"
#include "lv2/midi.h"
#include "lv2/lv2_programs.h"
#include "lv2/options.h"
#include "lv2/state.h"
#include "lv2/urid.h"
#include "lv2/worker.h"

struct Lv2Instance::Features {
    LV2_URID_Map map{};
    LV2_Worker_Schedule worker{};
    LV2_Options_Option options[1] = {};
    LV2_Feature mapFeature{LV2_URID__map, &map};
    LV2_Feature workerFeature{LV2_WORKER__schedule, &worker};
    LV2_Feature optionsFeature{LV2_OPTIONS__options, options};
    const LV2_Feature* list[4] = {&mapFeature, &workerFeature, &optionsFeature, nullptr};
};

Lv2Instance::Lv2Instance(const std::string& path) : features(new Features) {
    module = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!module) return;
    auto entry = reinterpret_cast<LV2_Descriptor_Function>(dlsym(module, "lv2_descriptor"));
    descriptor = entry ? entry(0) : nullptr;
    if (!descriptor) return;
    features->map.handle = this;
    features->map.map = [](LV2_URID_Map_Handle self, const char* uri) -> LV2_URID {
        return static_cast<Lv2Instance*>(self)->map(uri);
    };
    features->worker.handle = this;
    features->worker.schedule_work = [](LV2_Worker_Schedule_Handle, uint32_t, const void*) {
        return LV2_WORKER_ERR_UNKNOWN;
    };
    const std::string bundle = path.substr(0, path.rfind('/') + 1);
    instance = descriptor->instantiate(descriptor, 44100.0, bundle.c_str(), features->list);
}

Lv2Instance::~Lv2Instance() {
    if (active) descriptor->deactivate(instance);
    if (instance) descriptor->cleanup(instance);
    if (module) dlclose(module);
}

unsigned Lv2Instance::map(const char* uri) {
    for (std::size_t i = 0; i < uris.size(); ++i)
        if (uris[i] == uri) return static_cast<unsigned>(i + 1);
    uris.emplace_back(uri);
    return static_cast<unsigned>(uris.size());
}

void Lv2Instance::selectProgram(unsigned program) {
    const auto* programs = static_cast<const LV2_Programs_Interface*>(descriptor->extension_data(LV2_PROGRAMS__Interface));
    if (programs) programs->select_program(instance, 0, program);
}

// Ports: the two outputs, the events in and out, then the 16 controls.
void Lv2Instance::activate() {
    sequenceType = map(LV2_ATOM__Sequence);
    chunkType = map(LV2_ATOM__Chunk);
    midiType = map(LV2_MIDI__MidiEvent);
    eventsIn.assign(8192, 0);
    eventsOut.assign(1024, 0);
    descriptor->connect_port(instance, 2, eventsIn.data());
    descriptor->connect_port(instance, 3, eventsOut.data());
    for (unsigned i = 0; i < 16; ++i) descriptor->connect_port(instance, 4 + i, &controls[i]);
    descriptor->activate(instance);
    active = true;
    selectProgram(0);  // writes the program's values into the control inputs
}

void Lv2Instance::run(const std::vector<Midi>& midi, float* left, float* right, unsigned frames) {
    auto* in = reinterpret_cast<LV2_Atom_Sequence*>(eventsIn.data());
    in->atom.type = sequenceType;
    in->atom.size = sizeof(LV2_Atom_Sequence_Body);
    in->body = {};
    for (const Midi& m : midi) {
        auto* event = reinterpret_cast<LV2_Atom_Event*>(reinterpret_cast<char*>(&in->body) + in->atom.size);
        event->time.frames = m.frame;
        event->body = {3, midiType};
        std::memcpy(event + 1, m.bytes, 3);
        in->atom.size += sizeof(LV2_Atom_Event) + 8;
    }
    auto* out = reinterpret_cast<LV2_Atom_Sequence*>(eventsOut.data());
    out->atom = {static_cast<std::uint32_t>(eventsOut.size() * 8 - sizeof(LV2_Atom)), chunkType};
    descriptor->connect_port(instance, 0, left);
    descriptor->connect_port(instance, 1, right);
    descriptor->run(instance, frames);
}

std::string Lv2Instance::program(unsigned index) {
    const auto* programs = static_cast<const LV2_Programs_Interface*>(descriptor->extension_data(LV2_PROGRAMS__Interface));
    const LV2_Program_Descriptor* found = programs ? programs->get_program(instance, index) : nullptr;
    return found ? std::to_string(found->bank) + " " + std::to_string(found->program) + " " + found->name : "";
}

namespace {

struct Saved {
    Lv2Instance* host;
    std::map<std::string, std::string> values;
};

struct Restored {
    Lv2Instance* host;
    const std::map<std::string, std::string>* values;
    bool withTerminator;
    std::vector<std::unique_ptr<char[]>> blocks;
};

const LV2_State_Interface* stateInterface(const LV2_Descriptor* descriptor) {
    return static_cast<const LV2_State_Interface*>(descriptor->extension_data(LV2_STATE__interface));
}

}  // namespace

std::map<std::string, std::string> Lv2Instance::saveState() {
    const LV2_State_Interface* state = stateInterface(descriptor);
    Saved saved{this, {}};
    if (!state) return {};
    state->save(
        instance,
        [](LV2_State_Handle handle, uint32_t key, const void* value, size_t size, uint32_t, uint32_t) {
            auto* self = static_cast<Saved*>(handle);
            const char* text = static_cast<const char*>(value);
            self->values[self->host->unmap(key)] = std::string(text, strnlen(text, size));
            return LV2_STATE_SUCCESS;
        },
        &saved, 0, nullptr);
    return saved.values;
}

bool Lv2Instance::restoreState(const std::map<std::string, std::string>& values, bool withTerminator) {
    const LV2_State_Interface* state = stateInterface(descriptor);
    if (!state) return false;
    Restored restored{this, &values, withTerminator, {}};
    const LV2_State_Status status = state->restore(
        instance,
        [](LV2_State_Handle handle, uint32_t key, size_t* size, uint32_t* type, uint32_t* flags) -> const void* {
            auto* self = static_cast<Restored*>(handle);
            const auto found = self->values->find(self->host->unmap(key));
            if (found == self->values->end()) return nullptr;
            const std::string& text = found->second;
            *size = text.size() + (self->withTerminator ? 1 : 0);
            *type = self->host->map(LV2_ATOM__String);
            *flags = LV2_STATE_IS_POD | LV2_STATE_IS_PORTABLE;
            self->blocks.emplace_back(new char[*size]);
            std::memcpy(self->blocks.back().get(), text.c_str(), *size);
            return self->blocks.back().get();
        },
        &restored, 0, nullptr);
    return status == LV2_STATE_SUCCESS;
}
