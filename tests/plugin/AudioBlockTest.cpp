// The audio block as a host drives it: silence, timing of notes, pitch,
// channel equality, a huge announced block size and the orders in which
// different hosts set the instance up. Suspended, oversized and random blocks
// are the reliability suites' (AudioAbuseTest, SoakTest).
#include <cmath>
#include <limits>

#include "tests/plugin/PluginFixture.h"

namespace {

const std::vector<MidiMessage> kPhrase = {
    {0, 0x90, 48, 100}, {17, 0x90, 55, 90},  {130, 0x91, 60, 127}, {300, 0x92, 64, 70},
    {511, 0x80, 48, 0}, {600, 0x90, 67, 64}, {900, 0xE0, 0, 80},   {1500, 0x90, 55, 0},
};

// The output filter keeps a tiny constant offset in its recursions so that they
// never sink into denormals; what leaks out of it stays below -240 dB.
bool silent(const std::vector<float>& v, std::size_t from, std::size_t to) {
    for (std::size_t i = from; i < to; ++i)
        if (!(std::fabs(v[i]) < 1e-12f)) return false;
    return true;
}

// Estimated fundamental from the first positive-going zero crossings, in Hz.
double estimatePitch(const std::vector<float>& signal, double rate, std::size_t from) {
    std::vector<double> crossings;
    for (std::size_t i = from + 1; i < signal.size(); ++i)
        if (signal[i - 1] <= 0.0f && signal[i] > 0.0f)
            crossings.push_back(double(i - 1) + signal[i - 1] / double(signal[i - 1] - signal[i]));
    if (crossings.size() < 3) return 0.0;
    return rate * double(crossings.size() - 1) / (crossings.back() - crossings.front());
}

}  // namespace

TEST_F(PluginTest, RunningWithoutNotesIsSilent) {
    plugin->start(44100.0f, 512);
    plugin->process(512);
    EXPECT_TRUE(silent(plugin->left(), 0, 512));
    EXPECT_TRUE(silent(plugin->right(), 0, 512));
}

TEST_F(PluginTest, EmptyBlocksWriteNothing) {
    plugin->start(44100.0f, 64);
    std::vector<float> left(8, 5.0f), right(8, 5.0f);
    plugin->process(left.data(), right.data(), 0);
    plugin->process(left.data(), right.data(), -3);
    for (float v : left) EXPECT_EQ(v, 5.0f);
    for (float v : right) EXPECT_EQ(v, 5.0f);
}

TEST_F(PluginTest, NoteStartsAtItsFrame) {
    plugin->start(44100.0f, 64);
    plugin->setParameter(14, 0.0f);  // no chorus: both channels carry the dry signal
    plugin->sendMidi({{10, 0x90, 60, 100}});
    plugin->process(64);
    EXPECT_TRUE(silent(plugin->left(), 0, 10));
    EXPECT_GT(std::fabs(plugin->left()[10]), 1e-6f);
}

TEST_F(PluginTest, ChannelsAreEqualWithoutChorus) {
    plugin->start(48000.0f, 128);
    plugin->setParameter(14, 0.0f);
    plugin->sendMidi(kPhrase);
    const Rendered out = renderBlocks(*plugin, 9600, 128);
    EXPECT_EQ(out.left, out.right);
    EXPECT_FALSE(silent(out.left, 0, out.left.size()));
}

TEST_F(PluginTest, NotesSoundAtTheirPitchWhateverTheHostRate) {
    for (float rate : {22050.0f, 44100.0f, 96000.0f}) {
        auto instance = startInstance(rate, 512);
        instance->setProgram(5);  // no detune
        instance->setParameter(14, 0.0f);
        instance->sendMidi({{0, 0x90, 69, 127}});
        const Rendered out = renderBlocks(*instance, static_cast<int>(rate / 2), 512);
        EXPECT_NEAR(estimatePitch(out.left, rate, static_cast<std::size_t>(rate / 20)), 440.0, 440.0 * 0.01)
            << rate;
    }
}

TEST_F(PluginTest, HostThatNeverSetsARateHearsTheDefaultRate) {
    auto explicitRate = startInstance(44100.0f, 256);
    plugin->dispatch(effOpen);
    plugin->setBlockSize(256);
    plugin->resume();
    // Nonsense rates are ignored.
    for (float bad :
         {0.0f, -44100.0f, std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::infinity()})
        plugin->setSampleRate(bad);
    plugin->sendMidi(kPhrase);
    explicitRate->sendMidi(kPhrase);
    EXPECT_EQ(checksum(renderBlocks(*plugin, 8192, 256)), checksum(renderBlocks(*explicitRate, 8192, 256)));
}

TEST_F(PluginTest, EveryHostCallOrderGivesTheSameSound) {
    const int frames = 6000;
    auto reference = startInstance(48000.0f, 300);
    reference->sendMidi(kPhrase);
    const std::uint64_t expected = checksum(renderBlocks(*reference, frames, 300));

    // Rate and block size before effOpen.
    auto early = PluginInstance::create(builtPlugin().entry());
    early->setSampleRate(48000.0f);
    early->setBlockSize(300);
    early->dispatch(effOpen);
    early->resume();
    early->sendMidi(kPhrase);
    EXPECT_EQ(checksum(renderBlocks(*early, frames, 300)), expected);

    // Block size, then resume, then the rate; bad block sizes are ignored.
    auto late = PluginInstance::create(builtPlugin().entry());
    late->dispatch(effOpen);
    late->setBlockSize(300);
    late->setBlockSize(0);
    late->setBlockSize(-5);
    late->resume();
    late->setSampleRate(48000.0f);
    late->sendMidi(kPhrase);
    EXPECT_EQ(checksum(renderBlocks(*late, frames, 300)), expected);

    // Resume twice, and all-notes-off on every channel as the transport starts.
    auto twice = startInstance(48000.0f, 300);
    twice->resume();
    std::vector<MidiMessage> start;
    for (unsigned char channel = 0; channel < 16; ++channel)
        start.push_back({0, static_cast<unsigned char>(0xB0 | channel), 123, 0});
    twice->sendMidi(start);
    twice->process(0);
    twice->sendMidi(kPhrase);
    EXPECT_EQ(checksum(renderBlocks(*twice, frames, 300)), expected);
}

TEST_F(PluginTest, AbsurdAnnouncedBlockSizeStillPlays) {
    // A host that announces a huge maximum must not leave the instrument silent
    // because gigabytes of work space could not be had.
    plugin->start(44100.0f, 1 << 30);
    plugin->setParameter(14, 0.0f);
    plugin->sendMidi({{0, 0x90, 60, 127}});
    plugin->process(20000);
    EXPECT_GT(std::fabs(plugin->left()[100]), 1e-6f);

    auto steady = startInstance(44100.0f, 512);
    steady->setParameter(14, 0.0f);
    steady->sendMidi({{0, 0x90, 60, 127}});
    const Rendered reference = renderBlocks(*steady, 20000, 20000);
    EXPECT_EQ(plugin->left(), reference.left);
}
