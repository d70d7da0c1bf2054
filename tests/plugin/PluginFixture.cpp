#include "tests/plugin/PluginFixture.h"

#include <cstring>

PluginLibrary& builtPlugin() {
    static PluginLibrary library(HAMMERLYN2_PLUGIN_PATH);
    return library;
}

void PluginTest::SetUp() {
    ASSERT_TRUE(builtPlugin().loaded()) << builtPlugin().error();
    plugin = PluginInstance::create(builtPlugin().entry());
    ASSERT_NE(plugin, nullptr);
}

std::unique_ptr<PluginInstance> PluginTest::startInstance(float rate, VstInt32 block) {
    auto instance = PluginInstance::create(builtPlugin().entry());
    if (instance) instance->start(rate, block);
    return instance;
}

Rendered renderBlocks(PluginInstance& plugin, int frames, int block) {
    Rendered out;
    out.left.resize(static_cast<std::size_t>(frames));
    out.right.resize(static_cast<std::size_t>(frames));
    for (int done = 0; done < frames; done += block) {
        const int n = std::min(block, frames - done);
        plugin.process(out.left.data() + done, out.right.data() + done, n);
    }
    return out;
}

std::uint64_t checksum(const Rendered& audio) {
    std::uint64_t hash = 1469598103934665603ull;
    for (const auto* channel : {&audio.left, &audio.right}) {
        for (float sample : *channel) {
            std::uint32_t bits = 0;
            std::memcpy(&bits, &sample, 4);
            for (int b = 0; b < 4; ++b) {
                hash ^= (bits >> (8 * b)) & 0xFF;
                hash *= 1099511628211ull;
            }
        }
    }
    return hash;
}
