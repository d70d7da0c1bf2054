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

std::uint64_t hashBytes(const void* data, std::size_t size, std::uint64_t hash) {
    const auto* bytes = static_cast<const unsigned char*>(data);
    for (std::size_t i = 0; i < size; ++i) {
        hash ^= bytes[i];
        hash *= 1099511628211ull;
    }
    return hash;
}
