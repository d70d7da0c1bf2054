// Every factory program renders the same phrase to the same bits in every build
// type of one platform (Release, Debug, sanitizers). The reference checksums
// were produced by this code and the renders were checked by listening and by
// spectrogram; regenerate them only for an intended change of the sound, with
// HAMMERLYN2_PRINT_CHECKSUMS=1.
#include <cstdio>
#include <cstdlib>

#include "tests/plugin/PluginFixture.h"

namespace {

const std::vector<MidiMessage> kPhrase = {
    {0, 0x90, 50, 110},   {2205, 0x90, 57, 90},   {4410, 0x90, 62, 100}, {6615, 0x90, 66, 80},
    {8820, 0x80, 50, 0},  {11025, 0x90, 74, 127}, {13230, 0x90, 38, 60}, {15435, 0x80, 57, 0},
    {17640, 0x90, 62, 0}, {19845, 0x80, 66, 0},   {22050, 0x90, 81, 45},
};

std::uint64_t renderProgram(int program) {
    auto plugin = PluginInstance::create(builtPlugin().entry());
    plugin->start(44100.0f, 256);
    plugin->setProgram(program);
    Rendered out;
    out.left.resize(44100);
    out.right.resize(44100);
    std::size_t next = 0;
    for (int done = 0; done < 44100; done += 256) {
        std::vector<MidiMessage> events;
        while (next < kPhrase.size() && kPhrase[next].deltaFrames < done + 256) {
            MidiMessage m = kPhrase[next++];
            m.deltaFrames -= done;
            events.push_back(m);
        }
        plugin->sendMidi(events);
        const int n = std::min(256, 44100 - done);
        plugin->process(out.left.data() + done, out.right.data() + done, n);
    }
    return checksum(out);
}

#if defined(__x86_64__) || defined(__i386__)
#define HAVE_REFERENCE 1
const std::uint64_t kReference[8] = {
    0x1a9b5804d6f55e8dull, 0xb9b18585ab29f315ull, 0x5b34d6c725d1ebf3ull, 0x5a11a0c89f12c50bull,
    0x54ffe151fe30df90ull, 0x974467c624424ff3ull, 0xc2c87be1278cc29cull, 0x5ef32ab72cc8e1c0ull,
};
#endif

}  // namespace

TEST(Reproducibility, FactoryProgramsRenderToTheReferenceBits) {
    ASSERT_TRUE(builtPlugin().loaded()) << builtPlugin().error();
    const bool print = std::getenv("HAMMERLYN2_PRINT_CHECKSUMS") != nullptr;
    for (int program = 0; program < 8; ++program) {
        const std::uint64_t sum = renderProgram(program);
        EXPECT_EQ(sum, renderProgram(program)) << "program " << program << " is not deterministic";
        if (print) std::printf("    0x%016llxull,\n", static_cast<unsigned long long>(sum));
#if defined(HAVE_REFERENCE)
        EXPECT_EQ(sum, kReference[program]) << "program " << program;
#endif
    }
}
