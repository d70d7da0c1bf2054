// The built tool driving the built instrument end to end: timing of MIDI files,
// the demo, and preset and bank files exchanged with the plug-in.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <thread>

#include "ToolTestSupport.h"
#include "host/PluginInstance.h"
#include "host/PluginLibrary.h"
#include "tools/render/DemoSong.h"
#include "tools/render/PresetFileIo.h"

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

// The render ends soon after the sound dies away, not at the tail limit; also
// at the documented edges: the lowest rate, one-frame blocks, the longest tail.
TEST(renderTool, TailStopsOnceTheOutputIsSilent) {
    ScratchFolder folder;
    const std::string midi = folder.file("short.mid"), wav = folder.file("short.wav");
    writeMidiFile(midi, 0, 480, 1, {{0, 0, {0x90, 72, 100}}, {0, 240, {0x80, 72, 0}}});
    for (const std::vector<std::string>& edges :
         {std::vector<std::string>{"--tail", "60"}, {"--tail", "600", "--rate", "8000", "--block", "1"}}) {
        std::vector<std::string> arguments = {midi, "-o", wav, "--program", "Fonky chords", "--bits", "float", "--quiet"};
        arguments.insert(arguments.end(), edges.begin(), edges.end());
        const ToolRun run = runTool(arguments);
        ASSERT_EQ(run.exitCode, 0) << run.err;
        const Audio audio = readAudio(wav);
        EXPECT_EQ(audio.sampleRate, edges.size() > 2 ? 8000 : 44100);
        const double seconds = static_cast<double>(audio.frames()) / audio.sampleRate;
        EXPECT_GT(seconds, 0.25);
        EXPECT_LT(seconds, 30.0);
        float peak = 0.0f;
        for (float sample : audio.samples) peak = std::max(peak, std::fabs(sample));
        EXPECT_GT(peak, 0.01f);
        // The last quarter second is below -120 dBFS.
        for (std::int64_t f = audio.frames() - audio.sampleRate / 4; f < audio.frames(); ++f)
            ASSERT_LT(std::fabs(audio.at(f, 0)), 1e-6f) << "frame " << f;
    }
}

// Beyond full scale, 16- and 24-bit WAV and FLAC files clip; they never wrap
// round to the other sign. The three body bands at +18 dB drive a loud chord
// well past full scale.
TEST(renderTool, IntegerFilesClipLoudPassages) {
    ScratchFolder folder;
    const std::string midi = folder.file("loud.mid");
    std::vector<MidiFileEvent> chord;
    for (unsigned char key : {38, 45, 50, 57, 62, 69}) {
        chord.push_back({0, 0, {0x90, key, 127}});
        chord.push_back({0, 480, {0x80, key, 0}});
    }
    writeMidiFile(midi, 0, 480, 1, chord);
    auto render = [&](const std::string& name, const std::string& bits) {
        const ToolRun run = runTool({midi, "-o", folder.file(name), "--bits", bits, "--tail", "0.5", "--quiet", "--param",
                                     "Body100=1", "--param", "Body200=1", "--param", "Body300=1", "--param", "Volume=1"});
        EXPECT_EQ(run.exitCode, 0) << run.err;
        return readAudio(folder.file(name));
    };
    const Audio exact = render("loud.wav", "float");
    float peak = 0.0f;
    for (float sample : exact.samples) peak = std::max(peak, std::fabs(sample));
    ASSERT_GT(peak, 2.0f);

    for (const std::string name : {"16.wav", "24.wav", "16.flac", "24.flac"}) {
        const Audio stored = render(name, name.substr(0, 2));
        ASSERT_EQ(stored.samples.size(), exact.samples.size()) << name;
        const float step = name[0] == '1' ? 1.0f / 32768 : 1.0f / 8388608;
        std::size_t clipped = 0;
        for (std::size_t i = 0; i < exact.samples.size(); ++i) {
            const float want = std::clamp(exact.samples[i], -1.0f, 1.0f - step);
            clipped += want != exact.samples[i];
            ASSERT_NEAR(stored.samples[i], want, 1.5f * step) << name << " sample " << i << " of " << exact.samples[i];
        }
        EXPECT_GT(clipped, 100u) << name;
    }
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
    // The same score on the first program alone: the same through the first
    // section (the switch comes at a block's start, a little before the
    // section's), then another sound.
    const std::string oneProgram = folder.file("c.wav");
    ASSERT_EQ(runTool({"-o", oneProgram, "--bits", "float", "--quiet", "--program", "0"}).exitCode, 0);
    const Audio single = readAudio(oneProgram);
    const auto firstSection = 2 * static_cast<std::ptrdiff_t>(0.9 * demoSectionSeconds() * audio.sampleRate);
    const auto length = static_cast<std::ptrdiff_t>(std::min(single.samples.size(), audio.samples.size()));
    ASSERT_GT(length, 2 * firstSection);
    EXPECT_TRUE(std::equal(audio.samples.begin(), audio.samples.begin() + firstSection, single.samples.begin()));
    EXPECT_FALSE(std::equal(audio.samples.begin() + firstSection, audio.samples.begin() + length,
                            single.samples.begin() + firstSection))
        << "the demo played its first program throughout";
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

    // A preset file around a whole bank's block: the plug-in would take it and
    // replace all eight programs; the tool refuses it as not one program.
    PresetFile bankAsPreset;
    bankAsPreset.kind = PresetFile::Kind::Preset;
    bankAsPreset.pluginId = kInstrumentId;
    bankAsPreset.count = 16;
    bankAsPreset.chunk = freshInstance()->getChunk(false);
    writePresetFile(folder.file("bank.fxp"), bankAsPreset);
    const ToolRun bank = runTool({"--preset", folder.file("bank.fxp"), "--save-bank", folder.file("after.fxb")});
    EXPECT_EQ(bank.exitCode, 1);
    EXPECT_NE(bank.err.find("704-byte state is not one program (this plug-in's presets hold 64 bytes)"),
              std::string::npos)
        << bank.err;
    EXPECT_EQ(folder.entries().size(), 2u);
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

// A probe instrument with one input, four outputs, and a program named after
// what the host told it: the tool names itself truthfully, hands the input
// silence every block (the probe writes into it), and writes the first two
// outputs.
TEST(renderTool, TellsPluginsWhoItIsAndServesEveryChannel) {
    ScratchFolder folder;
    const ToolRun run = runTool({"--plugin", HAMMERLYN2_PROBE_PLUGIN_PATH, "--list-programs", "-o",
                                 folder.file("probe.wav"), "--bits", "float", "--tail", "0", "--quiet"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out, "  0* Quillfeather hammerlyn2-render 1000\n");
    const Audio audio = readAudio(folder.file("probe.wav"));
    ASSERT_GT(audio.frames(), 44100);
    for (std::int64_t f = 0; f < audio.frames(); ++f) {
        ASSERT_EQ(audio.at(f, 0), 0.25f) << "frame " << f;
        ASSERT_EQ(audio.at(f, 1), -0.5f) << "frame " << f;
    }
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

namespace {

// Each entry of a folder: its kind, inode, size and time of change, and for a
// link, where it points. Any write or replacement changes one of them.
std::map<std::string, std::string> snapshot(const ScratchFolder& folder) {
    std::map<std::string, std::string> entries;
    for (const std::string& name : folder.entries()) {
        struct stat info {};
        ::lstat(folder.file(name).c_str(), &info);
        std::string& entry = entries[name];
        for (const auto number : {static_cast<long long>(info.st_mode), static_cast<long long>(info.st_ino),
                                  static_cast<long long>(info.st_size), static_cast<long long>(info.st_mtim.tv_sec),
                                  static_cast<long long>(info.st_mtim.tv_nsec)})
            entry += std::to_string(number) + " ";
        if (S_ISLNK(info.st_mode)) entry += std::filesystem::read_symlink(folder.file(name)).string();
    }
    return entries;
}

bool isLink(const std::string& path) {
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0 && S_ISLNK(info.st_mode);
}

std::string shortSong(const ScratchFolder& folder) {
    const std::string song = folder.file("song.mid");
    writeMidiFile(song, 0, 480, 1, {{0, 0, {0x90, 60, 100}}, {0, 240, {0x80, 60, 0}}});
    return song;
}

}  // namespace

// Where the tool may write: a symbolic link is followed (its target replaced,
// or created when the link dangles; the link stays); a device, FIFO, socket or
// folder is refused, and so is an output that is an input or another output,
// however it is named. A refused run changes nothing.
TEST(renderTool, OutputsGoOnlyWhereTheyMay) {
    ScratchFolder folder;
    const std::string song = shortSong(folder);
    auto file = [&](const std::string& name) { return folder.file(name); };

    writeBytes(file("old.wav"), {'o', 'l', 'd'});
    ASSERT_EQ(::symlink("old.wav", file("link.wav").c_str()), 0);
    ASSERT_EQ(::symlink("made.wav", file("dangling.wav").c_str()), 0);
    ASSERT_EQ(::symlink(file("kept.fxp").c_str(), file("preset-link.fxp").c_str()), 0);
    for (const char* output : {"link.wav", "dangling.wav"}) {
        const ToolRun run = runTool({song, "-o", file(output), "--tail", "0", "--quiet"});
        ASSERT_EQ(run.exitCode, 0) << output << ": " << run.err;
        EXPECT_TRUE(isLink(file(output))) << output;
    }
    EXPECT_GT(readAudio(file("old.wav")).frames(), 0);
    EXPECT_GT(readAudio(file("made.wav")).frames(), 0);
    ASSERT_EQ(runTool({"--save-preset", file("preset-link.fxp")}).exitCode, 0);
    EXPECT_EQ(readPresetFile(file("kept.fxp"), PresetFile::Kind::Preset, kInstrumentId).chunk.size(), 64u);
    ASSERT_EQ(runTool({"--save-bank", file("bank.fxb")}).exitCode, 0);

    ASSERT_EQ(::mkfifo(file("fifo").c_str(), 0600), 0);
    ASSERT_EQ(::symlink("fifo", file("fifo-link.wav").c_str()), 0);
    ASSERT_EQ(::mkdir(file("folder").c_str(), 0700), 0);
    const int listener = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, file("socket").c_str(), sizeof(address.sun_path) - 1);
    ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof(address)), 0);
    const bool device = ::mknod(file("null").c_str(), S_IFCHR | 0666, makedev(1, 3)) == 0;  // as root only
    ASSERT_EQ(::link(song.c_str(), file("hard.mid").c_str()), 0);
    ASSERT_EQ(::symlink("song.mid", file("song-link.mid").c_str()), 0);
    writeBytes(file("plugin.so"), readBytes(HAMMERLYN2_PLUGIN_PATH));
    writeBytes(file("locked.wav"), {'o', 'l', 'd'});
    ASSERT_EQ(::chmod(file("locked.wav").c_str(), 0444), 0);

    const std::vector<std::pair<std::vector<std::string>, std::string>> refused = {
        {{song, "-o", file("fifo")}, "it is a FIFO"},
        {{song, "-o", file("fifo-link.wav")}, "it is a FIFO"},
        {{song, "-o", file("socket")}, "it is a socket"},
        {{song, "-o", file("folder")}, "it is a folder"},
        {{song, "-o", device ? file("null") : file("fifo")}, device ? "it is a character device" : "it is a FIFO"},
        {{"--save-bank", file("fifo")}, "it is a FIFO"},
        {{"--save-preset", file("folder")}, "it is a folder"},
        {{song, "-o", song}, "same file as the input " + song},
        {{song, "-o", file("hard.mid")}, "same file as the input"},
        {{song, "-o", file("song-link.mid")}, "same file as the input"},
        {{"--bank", file("bank.fxb"), "--save-bank", file("bank.fxb")}, "same file as the input"},
        {{"--preset", file("kept.fxp"), "-o", file("preset-link.fxp")}, "same file as the input"},
        {{"--plugin", file("plugin.so"), "-o", file("plugin.so")}, "same file as the input"},
        {{"-o", file("new.wav"), "--save-bank", folder.path() + "/./new.wav"}, "same file as the output"},
        {{"--save-preset", file("kept.fxp"), "--save-bank", file("preset-link.fxp")}, "same file as the output"},
        {{song, "-o", file("locked.wav")}, "it is read-only (--force replaces it)"},
        {{"--save-bank", file("locked.wav")}, "it is read-only"},
    };
    const auto before = snapshot(folder);
    for (const auto& [arguments, reason] : refused) {
        const ToolRun run = runTool(arguments);
        EXPECT_EQ(run.exitCode, 1) << reason;
        EXPECT_EQ(run.err.rfind("hammerlyn2-render: cannot write ", 0), 0u) << run.err;
        EXPECT_NE(run.err.find(reason), std::string::npos) << run.err;
        EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
        EXPECT_EQ(snapshot(folder), before) << "after: " << run.err;
    }
    ::close(listener);

    // A replaced file keeps its permissions, and its owner and group where the
    // tool may give them (as root); --force replaces a read-only one. A name
    // of the longest length a folder takes is written, with the permissions
    // the umask gives a new file.
    writeBytes(file("private.wav"), {'o', 'l', 'd'});
    ASSERT_EQ(::chmod(file("private.wav").c_str(), 0640), 0);
    const bool root = ::geteuid() == 0;
    ASSERT_TRUE(!root || ::chown(file("private.wav").c_str(), 4321, 8765) == 0);
    const std::string longName = file(std::string(251, 'n') + ".wav");
    const mode_t umaskBefore = ::umask(022);
    for (const std::string& output : {file("private.wav"), file("locked.wav"), longName})
        EXPECT_EQ(runTool({song, "-o", output, "--tail", "0", "-q", "--force"}).exitCode, 0) << output;
    ::umask(umaskBefore);
    struct stat info {};
    ASSERT_EQ(::stat(longName.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0644u);
    ASSERT_EQ(::stat(file("private.wav").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0640u);
    EXPECT_TRUE(!root || (info.st_uid == 4321 && info.st_gid == 8765));
    ASSERT_EQ(::stat(file("locked.wav").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0444u);
}

// What the tool prints that cannot reach its standard output (a full disk, a
// closed descriptor) fails the run, lists, help and summary alike.
TEST(renderTool, AStandardOutputThatFailsIsAFailure) {
    ScratchFolder folder;
    const std::string song = shortSong(folder);
    for (const std::string& out : {std::string("/dev/full"), std::string("closed")})
        for (const std::vector<std::string>& arguments : std::vector<std::vector<std::string>>{
                 {"--list-programs"}, {"--list-params"}, {"--help"}, {song, "-o", folder.file("out.wav")}}) {
            const ToolRun run = ToolProcess(arguments, out).finish();
            EXPECT_EQ(run.exitCode, 1) << out << " " << arguments[0];
            EXPECT_NE(run.err.find("cannot write the standard output"), std::string::npos) << run.err;
        }
}

// How long a render can last is known before it starts: a song beyond
// --max-length, or one whose file could not fit where it goes, is refused at
// once with its length, and nothing is written.
TEST(renderTool, OverlongRendersAreRefusedBeforeTheyStart) {
    ScratchFolder folder;
    // 44 bytes: one tick a quarter, the slowest tempo (16.8 s a quarter) and a
    // note held for the longest delta time a file can give: 143 years.
    const std::string ages = folder.file("ages.mid");
    std::vector<unsigned char> bytes = {'M',  'T',  'h',  'd',  0,    0,    0,    6,    0,    0,    0,
                                        1,    0,    1,    'M',  'T',  'r',  'k',  0,    0,    0,    22,
                                        0x00, 0xff, 0x51, 0x03, 0xff, 0xff, 0xff, 0x00, 0x90, 0x3c, 0x64,
                                        0xff, 0xff, 0xff, 0x7f, 0x80, 0x3c, 0x00, 0x00, 0xff, 0x2f, 0x00};
    writeBytes(ages, bytes);
    // A sixteenth of that, 18 years: within a raised limit, far beyond any disk.
    bytes[bytes.size() - 11] = 0x8f;
    writeBytes(folder.file("years.mid"), bytes);
    // Three seconds.
    writeMidiFile(folder.file("short.mid"), 0, 480, 1, {{0, 0, {0x90, 60, 100}}, {0, 2880, {0x80, 60, 0}}});

    const std::vector<std::pair<std::vector<std::string>, std::string>> refused = {
        {{ages, "--bits", "16"}, "could last 4503599352 s (143 years) with its tail, more than --max-length 7200 s (2.0 hours)"},
        {{ages, "--max-length", "1e9"}, "more than --max-length 1000000000 s (32 years)"},
        {{folder.file("years.mid"), "--max-length", "1e9", "--rate", "384000", "--bits", "float"}, " free"},
        {{folder.file("short.mid"), "--max-length", "12.5"}, "could last 13.0 s with its tail, more than --max-length 12.5 s"},
    };
    const auto before = snapshot(folder);
    for (auto [arguments, reason] : refused) {
        arguments.insert(arguments.end(), {"-o", folder.file("out.wav")});
        const ToolRun run = runTool(arguments);
        EXPECT_EQ(run.exitCode, 1) << reason;
        EXPECT_NE(run.err.find(reason), std::string::npos) << run.err;
        EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
        EXPECT_EQ(snapshot(folder), before) << run.err;
    }
    EXPECT_EQ(runTool({folder.file("short.mid"), "--max-length", "13", "-o", folder.file("out.wav")}).exitCode, 0);
}

// A signal ends the tool as it would end any program, so the shell sees it, and
// no hidden temporary file stays behind; a MIDI file that never finishes
// arriving does not hold the tool up either.
TEST(renderTool, SignalsEndTheToolAndLeaveNoTemporaryFile) {
    ScratchFolder inputs;
    const std::string song = inputs.file("long.mid");  // ten minutes
    writeMidiFile(song, 0, 1, 1, {{0, 0, {0x90, 60, 100}}, {0, 1200, {0x80, 60, 0}}});
    // Twice: the second signal comes while the handler of the first is held
    // (the tests' build of the tool stops there) before it removes the file,
    // and waits.
    for (const bool twice : {false, true})
        for (int signal : {SIGHUP, SIGINT, SIGQUIT, SIGTERM, SIGPIPE, SIGALRM, SIGUSR1, SIGUSR2, SIGXCPU, SIGXFSZ,
                           SIGVTALRM, SIGPROF}) {
            ScratchFolder folder;
            ToolProcess tool({song, "-o", folder.file("out.wav"), "--quiet"}, {},
                             twice ? HAMMERLYN2_STOPPING_RENDER_TOOL : HAMMERLYN2_RENDER_TOOL);
            const auto start = std::chrono::steady_clock::now();
            while (folder.entries().empty() && std::chrono::steady_clock::now() - start < std::chrono::seconds(60))
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            ASSERT_EQ(folder.entries().size(), 1u) << "no temporary file while rendering";
            ::kill(tool.pid(), signal);
            int stopped = 0;
            if (twice && ::waitpid(tool.pid(), &stopped, WUNTRACED) == tool.pid() && WIFSTOPPED(stopped)) {
                ::kill(tool.pid(), signal);
                ::kill(tool.pid(), SIGCONT);
            }
            const ToolRun run = tool.finish(60.0);
            EXPECT_EQ(run.signal, signal) << strsignal(signal) << ", exit " << run.exitCode << ": " << run.err;
            EXPECT_TRUE(folder.entries().empty()) << strsignal(signal) << " left " << folder.entries()[0];
        }

    ASSERT_EQ(::mkfifo(inputs.file("never.mid").c_str(), 0600), 0);
    ScratchFolder folder;
    ToolProcess tool({inputs.file("never.mid"), "-o", folder.file("out.wav")});
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    ::kill(tool.pid(), SIGTERM);
    const ToolRun run = tool.finish(10.0);
    EXPECT_FALSE(run.timedOut);
    EXPECT_EQ(run.signal, SIGTERM);
}
