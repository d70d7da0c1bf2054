#include "tests/plugin/PluginFixture.h"

#include <cstring>

void PluginTest::SetUp() {
    ASSERT_TRUE(builtPlugin().loaded()) << builtPlugin().error();
    plugin = PluginInstance::create(builtPlugin().entry());
    ASSERT_NE(plugin, nullptr);
}

std::unique_ptr<PluginInstance> PluginTest::startInstance(float rate, VstInt32 block) {
    return startedInstance(rate, block);
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
    // Little-endian bytes of each sample, left channel first.
    const std::uint64_t left = hashBytes(audio.left.data(), audio.left.size() * sizeof(float));
    return hashBytes(audio.right.data(), audio.right.size() * sizeof(float), left);
}
