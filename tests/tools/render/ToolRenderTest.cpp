// The built tool driving the built instrument end to end: timing of MIDI files,
// the demo, and preset and bank files exchanged with the plug-in.
#include <gtest/gtest.h>

#include <cctype>
#include <cmath>
#include <filesystem>
#include <cstring>
#include <memory>
#include <unistd.h>

#include "ToolTestSupport.h"
#include "host/PluginInstance.h"
#include "host/PluginLibrary.h"
#include "tools/render/PresetFile.h"

namespace {

constexpr std::int32_t kInstrumentId = 0x51464832;  // 'QFH2'
constexpr int kBankBytes = 704;
constexpr int kRecordBytes = 88;

PluginLibrary& instrument() {
    static PluginLibrary library(HAMMERLYN2_PLUGIN_PATH);
    return library;
}

std::unique_ptr<PluginInstance> freshInstance() {
    auto instance = PluginInstance::create(instrument().entry());
    if (instance) instance->start(44100.0f, 512);
    return instance;
}

float valueAt(const std::vector<unsigned char>& chunk, std::size_t offset) {
    float value = 0.0f;
    std::memcpy(&value, chunk.data() + offset, sizeof(value));
    return value;
}

float bankValue(const std::vector<unsigned char>& bank, int program, int parameter) {
    return valueAt(bank, static_cast<std::size_t>(kRecordBytes * program + 24 + 4 * parameter));
}

std::string bankName(const std::vector<unsigned char>& bank, int program) {
    const char* name = reinterpret_cast<const char*>(bank.data() + kRecordBytes * program);
    return std::string(name, strnlen(name, 24));
}

}  // namespace

// A format 1 file with the tempo in the first track and notes in two others, on
// two channels: every note must start at the frame the tempo map gives its tick.
// Each note is found as the first frame at which the render with it differs
// from the render without it, so the check needs no silence threshold and
// earlier notes may still ring.
TEST(renderTool, NotesStartAtTheFrameTheTempoMapGives) {
    ScratchFolder folder;
    constexpr int kRate = 48000;
    constexpr int kTicksPerQuarter = 480;
    // 120 BPM: 50 frames a tick; from tick 1920 (2 s) at 240 BPM: 25 frames a tick.
    struct Expected {
        int tick, track, channel, key;
        std::int64_t frame;
    };
    const std::vector<Expected> notes = {
        {0, 1, 0, 60, 0},                      // the very first frame
        {480, 1, 0, 64, 24000},                // 0.5 s
        {1001, 2, 5, 67, 50050},               // an odd tick
        {1920, 2, 5, 72, 96000},               // at the tempo change itself
        {2401, 1, 0, 62, 96000 + 481 * 25},    // after it
        {3841, 2, 5, 69, 96000 + 1921 * 25},   // a bar on
    };

    auto render = [&](std::size_t noteCount, const std::string& name) {
        std::vector<MidiFileEvent> events = {{0, 0, tempoEvent(500000)}, {0, 1920, tempoEvent(250000)}};
        for (std::size_t i = 0; i < noteCount; ++i) {
            const Expected& n = notes[i];
            events.push_back({n.track, n.tick, {static_cast<unsigned char>(0x90 | n.channel), static_cast<unsigned char>(n.key), 100}});
            events.push_back({n.track, n.tick + 200, {static_cast<unsigned char>(0x80 | n.channel), static_cast<unsigned char>(n.key), 0}});
        }
        events.push_back({0, 4800, {0xff, 0x2f, 0x00}});  // end of track
        const std::string midi = folder.file(name + ".mid"), wav = folder.file(name + ".wav");
        writeMidiFile(midi, 1, kTicksPerQuarter, 3, events);
        // An odd block size puts the notes at varied places inside their blocks.
        const ToolRun run = runTool({midi, "-o", wav, "--rate", std::to_string(kRate), "--block", "97", "--bits", "float",
                                     "--param", "Chorus=0", "--tail", "0", "--quiet"});
        EXPECT_EQ(run.exitCode, 0) << run.err;
        return readAudio(wav);
    };

    Audio previous = render(0, "none");
    for (std::size_t k = 0; k < notes.size(); ++k) {
        const Audio with = render(k + 1, "upto" + std::to_string(k));
        ASSERT_EQ(with.frames(), previous.frames());
        std::int64_t first = -1;
        for (std::int64_t f = 0; f < with.frames() && first < 0; ++f)
            if (with.at(f, 0) != previous.at(f, 0) || with.at(f, 1) != previous.at(f, 1)) first = f;
        EXPECT_EQ(first, notes[k].frame) << "note " << k << " at tick " << notes[k].tick;
        previous = with;
    }
}

// The first note of a song sounds at its frame and not a frame before.
TEST(renderTool, FirstNoteIsSilentUntilItsFrame) {
    ScratchFolder folder;
    const std::string midi = folder.file("one.mid"), wav = folder.file("one.wav");
    // 96 ticks a quarter at 125 BPM: 480000 us / 96 = 5000 us a tick, 220.5 frames at 44100.
    writeMidiFile(midi, 0, 96, 1,
                  {{0, 0, tempoEvent(480000)}, {0, 98, {0x90, 57, 110}}, {0, 190, {0x80, 57, 0}}});
    const ToolRun run = runTool({midi, "-o", wav, "--bits", "float", "--param", "Chorus=0", "--quiet"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const Audio audio = readAudio(wav);
    const std::int64_t start = std::int64_t{98} * 5000 * 44100 / 1000000;  // 21609 frames exactly
    ASSERT_GT(audio.frames(), start);
    // Nothing audible before the note: well below the quietest sample a note starts with.
    for (std::int64_t f = 0; f < start; ++f) ASSERT_LT(std::fabs(audio.at(f, 0)), 1e-9f) << "frame " << f;
    EXPECT_GT(std::fabs(audio.at(start, 0)), 1e-6f);
}

// The render ends soon after the sound dies away, not at the tail limit.
TEST(renderTool, TailStopsOnceTheOutputIsSilent) {
    ScratchFolder folder;
    const std::string midi = folder.file("short.mid"), wav = folder.file("short.wav");
    writeMidiFile(midi, 0, 480, 1, {{0, 0, {0x90, 72, 100}}, {0, 240, {0x80, 72, 0}}});
    const ToolRun run = runTool({midi, "-o", wav, "--program", "Fonky chords", "--tail", "60", "--bits", "float", "--quiet"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const Audio audio = readAudio(wav);
    const double seconds = static_cast<double>(audio.frames()) / audio.sampleRate;
    EXPECT_GT(seconds, 0.25);
    EXPECT_LT(seconds, 30.0);
    // The last quarter second is below -120 dBFS.
    for (std::int64_t f = audio.frames() - audio.sampleRate / 4; f < audio.frames(); ++f)
        ASSERT_LT(std::fabs(audio.at(f, 0)), 1e-6f) << "frame " << f;
}

// The demo: the same bytes every time, sound in every section, never beyond full scale.
TEST(renderTool, DemoIsDeterministicAudibleAndWithinFullScale) {
    ScratchFolder folder;
    const std::string first = folder.file("a.wav"), second = folder.file("b.wav");
    const ToolRun run = runTool({"-o", first, "--bits", "float"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(run.out.find("peak"), std::string::npos) << run.out;
    ASSERT_EQ(runTool({"-o", second, "--bits", "float", "--quiet"}).exitCode, 0);
    EXPECT_EQ(readBytes(first), readBytes(second));

    const Audio audio = readAudio(first);
    ASSERT_EQ(audio.channels, 2);
    const double seconds = static_cast<double>(audio.frames()) / audio.sampleRate;
    EXPECT_GT(seconds, 25.0);
    EXPECT_LT(seconds, 40.0);
    float peak = 0.0f;
    for (float sample : audio.samples) {
        ASSERT_TRUE(std::isfinite(sample));
        peak = std::max(peak, std::fabs(sample));
    }
    EXPECT_LE(peak, 1.0f);
    // Each of the eight sections (about 3.6 s each) has sound well above the noise floor.
    const std::int64_t section = audio.frames() * 36 / 300 - 1;
    for (int s = 0; s < 8; ++s) {
        double energy = 0.0;
        for (std::int64_t f = s * section; f < (s + 1) * section; ++f) energy += double(audio.at(f, 0)) * audio.at(f, 0);
        EXPECT_GT(std::sqrt(energy / section), 0.01) << "section " << s;
    }
}

// A bank saved by the tool after settings is the plug-in's own bank chunk, and a
// fresh plug-in given it hands the same bytes back.
TEST(renderTool, SavedBankCarriesSettingsAndLoadsIntoThePlugin) {
    ScratchFolder folder;
    const std::string bankPath = folder.file("edited.fxb");
    const ToolRun run = runTool({"--program", "Dry Harp", "--param", "Damp=0.25", "--param", "vel=1", "--save-bank", bankPath});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const PresetFile bank = readPresetFile(bankPath, PresetFile::Kind::Bank, kInstrumentId);
    ASSERT_EQ(bank.chunk.size(), static_cast<std::size_t>(kBankBytes));
    EXPECT_EQ(bank.currentProgram, 2);
    EXPECT_EQ(bank.count, 8);
    EXPECT_EQ(bankValue(bank.chunk, 2, 4), 0.25f);
    EXPECT_EQ(bankValue(bank.chunk, 2, 5), 1.0f);

    auto plugin = freshInstance();
    ASSERT_TRUE(plugin);
    EXPECT_EQ(plugin->setChunk(bank.chunk, false), kBankBytes);
    EXPECT_EQ(plugin->getChunk(false), bank.chunk);

    // And back: a bank edited in the plug-in, loaded by the tool, saved again unchanged.
    plugin->setProgram(6);
    plugin->setParameter(14, 0.75f);
    char newName[] = "Nylon";
    plugin->dispatch(effSetProgramName, 0, 0, newName);
    PresetFile edited;
    edited.kind = PresetFile::Kind::Bank;
    edited.pluginId = kInstrumentId;
    edited.pluginVersion = 1;
    edited.count = 8;
    edited.currentProgram = 6;
    edited.chunk = plugin->getChunk(false);
    writePresetFile(folder.file("in.fxb"), edited);
    const ToolRun again = runTool({"--bank", folder.file("in.fxb"), "--save-bank", folder.file("out.fxb"), "--list-programs"});
    ASSERT_EQ(again.exitCode, 0) << again.err;
    EXPECT_NE(again.out.find("  6* Nylon"), std::string::npos) << again.out;
    EXPECT_EQ(readBytes(folder.file("out.fxb")), readBytes(folder.file("in.fxb")));
}

// A preset saved from one program and loaded into another brings its values and name.
TEST(renderTool, PresetMovesAProgramWithItsName) {
    ScratchFolder folder;
    const std::string presetPath = folder.file("soft.fxp");
    ASSERT_EQ(runTool({"--program", "soft harp", "--param", "Volume=0.125", "--save-preset", presetPath}).exitCode, 0);
    const PresetFile preset = readPresetFile(presetPath, PresetFile::Kind::Preset, kInstrumentId);
    EXPECT_EQ(preset.programName, "Soft Harp");
    EXPECT_EQ(preset.count, 16);
    ASSERT_EQ(preset.chunk.size(), 64u);
    EXPECT_EQ(valueAt(preset.chunk, 4 * 15), 0.125f);

    const ToolRun run = runTool({"--program", "0", "--preset", presetPath, "--save-bank", folder.file("bank.fxb")});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const PresetFile bank = readPresetFile(folder.file("bank.fxb"), PresetFile::Kind::Bank, kInstrumentId);
    EXPECT_EQ(bankName(bank.chunk, 0), "Soft Harp");
    EXPECT_TRUE(std::equal(preset.chunk.begin(), preset.chunk.end(), bank.chunk.begin() + 24));
    EXPECT_EQ(bankName(bank.chunk, 3), "Soft Harp");  // the original is untouched
    EXPECT_EQ(bankValue(bank.chunk, 3, 15), bankValue(freshInstance()->getChunk(false), 3, 15));
}

// A chunk the plug-in refuses is an error, not a silent render of the old state.
TEST(renderTool, RefusedChunkIsAnError) {
    ScratchFolder folder;
    PresetFile wrong;
    wrong.kind = PresetFile::Kind::Bank;
    wrong.pluginId = kInstrumentId;
    wrong.count = 8;
    wrong.currentProgram = 0;
    wrong.chunk.assign(100, 0);
    writePresetFile(folder.file("short.fxb"), wrong);
    const ToolRun run = runTool({"--bank", folder.file("short.fxb"), "-o", folder.file("out.wav")});
    EXPECT_NE(run.exitCode, 0);
    EXPECT_NE(run.err.find("refused"), std::string::npos) << run.err;
    EXPECT_EQ(folder.entries().size(), 1u);  // only the bank file
}

// The shipped factory bank is exactly what the plug-in holds when it starts.
TEST(renderTool, ShippedFactoryBankIsThePluginsOwn) {
    const PresetFile bank = readPresetFile(std::string(HAMMERLYN2_SOURCE_DIR) + "/presets/Factory.fxb",
                                           PresetFile::Kind::Bank, kInstrumentId);
    auto plugin = freshInstance();
    ASSERT_TRUE(plugin);
    EXPECT_EQ(bank.chunk, plugin->getChunk(false))
        << "presets/Factory.fxb is out of date: the build saves the current one to presets/ in its own folder";
    EXPECT_EQ(bank.currentProgram, 0);
    EXPECT_EQ(bank.count, plugin->effect()->numPrograms);
    EXPECT_EQ(bank.pluginVersion, plugin->effect()->version);
}

// The tool as a host for instruments it was not written with: Debian's amsynth
// and ZynAddSubFX VST plug-ins, wherever they are installed.
TEST(renderTool, PlaysOtherVst2Instruments) {
    std::vector<std::string> found;
    for (const char* folder : {"/usr/lib/vst", "/usr/lib/x86_64-linux-gnu/vst", "/usr/local/lib/vst"}) {
        std::error_code error;
        for (auto it = std::filesystem::recursive_directory_iterator(folder, error);
             !error && it != std::filesystem::recursive_directory_iterator(); it.increment(error)) {
            std::string name = it->path().filename().string();
            for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            const bool wanted = name.find("amsynth") != std::string::npos || name.find("zynaddsubfx") != std::string::npos;
            if (wanted && it->path().extension() == ".so") found.push_back(it->path().string());
        }
    }
    if (found.empty()) GTEST_SKIP() << "neither amsynth nor ZynAddSubFX is installed as a VST plug-in";
    for (const std::string& path : found) {
        ScratchFolder folder;
        const ToolRun run = runTool({"--plugin", path, "-o", folder.file("demo.wav"), "--bits", "float", "--tail", "3"});
        ASSERT_EQ(run.exitCode, 0) << path << ": " << run.err;
        const Audio audio = readAudio(folder.file("demo.wav"));
        float peak = 0.0f;
        for (float sample : audio.samples) peak = std::max(peak, std::fabs(sample));
        EXPECT_GT(peak, 1e-3f) << path;
    }
}
