#include "tests/support/BuiltPlugin.h"

PluginLibrary& builtPlugin() {
    static PluginLibrary library(HAMMERLYN2_PLUGIN_PATH);
    return library;
}

std::unique_ptr<PluginInstance> newInstance(const HostOptions& options) {
    if (!builtPlugin().loaded()) return nullptr;
    return PluginInstance::create(builtPlugin().entry(), options);
}

std::unique_ptr<PluginInstance> startedInstance(float rate, VstInt32 block) {
    auto instance = newInstance();
    if (instance) instance->start(rate, block);
    return instance;
}

::testing::AssertionResult recordAsAnnounced(const AEffect* e) {
    if (!e) return ::testing::AssertionFailure() << "no effect record";
    struct Field {
        const char* name;
        VstIntPtr value, expected;
    };
    const Field fields[] = {
        {"magic", e->magic, kEffectMagic},
        {"flags", e->flags, kBuiltPluginFlags},
        {"numPrograms", e->numPrograms, 8},
        {"numParams", e->numParams, 16},
        {"numInputs", e->numInputs, 0},
        {"numOutputs", e->numOutputs, 2},
        {"uniqueID", e->uniqueID, fourCharCode('Q', 'F', 'H', '2')},
        {"version", e->version, 1},
        {"initialDelay", e->initialDelay, 0},
    };
    for (const Field& f : fields)
        if (f.value != f.expected)
            return ::testing::AssertionFailure()
                   << f.name << " is " << f.value << ", announced " << f.expected;
    if (e->ioRatio != 1.0f) return ::testing::AssertionFailure() << "ioRatio is " << e->ioRatio;
    return ::testing::AssertionSuccess();
}

