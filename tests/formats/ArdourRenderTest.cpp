// Ardour, headless with its Dummy backend, as the real host: it scans the
// VST3 (with its own scanner) or the LV2 build staged alone in a private home,
// and renders the comparison score in a session through the plug-in. A Lua
// player in front of the plug-in sends each event at its exact frame, and a Lua
// capture behind it keeps the plug-in's output untouched together with the
// length of every block Ardour ran; the VST 2 build renders the same score in
// the same blocks, and the two must agree bit for bit. A session saved with
// knobs set and opened again, both under a decimal-comma locale, must sound
// like the VST 2 build with the same knobs.
//
// A run in which Ardour crashes (ends by a signal) is retried from the same
// files, and its output is never used; any other failed run fails the test.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "instrument/ParameterTable.h"
#include "tests/formats/Score.h"

namespace fs = std::filesystem;

namespace {

constexpr int kAttempts = 5;
constexpr int kMaxBlocks = 4096;

std::string readText(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

void writeText(const fs::path& path, const std::string& text) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << text;
}

std::string replaced(std::string text, const std::string& key, const std::string& value) {
    for (std::size_t at = text.find(key); at != std::string::npos; at = text.find(key, at + value.size()))
        text.replace(at, key.size(), value);
    return text;
}

std::string quoted(const fs::path& path) { return "'" + path.string() + "'"; }

// A copy of the bundle, dated a minute back: Ardour skips a plug-in whose file
// is as new as its scan cache entry.
void stage(const fs::path& bundle, const fs::path& folder) {
    fs::create_directories(folder);
    const fs::path target = folder / bundle.filename();
    fs::remove_all(target);
    fs::copy(bundle, target, fs::copy_options::recursive);
    const auto past = fs::file_time_type::clock::now() - std::chrono::minutes(1);
    for (const auto& entry : fs::recursive_directory_iterator(target)) fs::last_write_time(entry.path(), past);
    fs::last_write_time(target, past);
}

struct Render {
    std::vector<std::uint32_t> blocks;
    std::vector<float> samples;  // left, then right
};

bool readRender(const fs::path& path, Render* render) {
    std::ifstream in(path, std::ios::binary);
    std::int32_t blocks = 0, frames = 0;
    if (!in.read(reinterpret_cast<char*>(&blocks), 4) || !in.read(reinterpret_cast<char*>(&frames), 4)) return false;
    if (blocks <= 0 || blocks > kMaxBlocks || frames != static_cast<std::int32_t>(kScoreFrames)) return false;
    std::vector<std::int32_t> sizes(static_cast<std::size_t>(blocks));
    render->samples.resize(2 * kScoreFrames);
    if (!in.read(reinterpret_cast<char*>(sizes.data()), 4 * blocks) ||
        !in.read(reinterpret_cast<char*>(render->samples.data()), static_cast<std::streamsize>(8 * kScoreFrames)))
        return false;
    render->blocks.assign(sizes.begin(), sizes.end());
    return true;
}

// The scripts and the staged plug-in for one format in a private home.
struct ArdourSetup {
    fs::path work, home, output;
    std::string session;  // the session script, still with @MODE@, @SETTINGS@ and @SESSION_DIR@
};

void prepare(const char* format, const char* name, const fs::path& bundle, const fs::path& stageFolder,
             ArdourSetup* setup) {
    setup->work = fs::path(HAMMERLYN2_ARDOUR_WORK) / name;
    fs::remove_all(setup->work);
    setup->home = setup->work / "home";
    stage(bundle, setup->home / stageFolder);
    if (std::strcmp(format, "vst3") == 0) {
        const std::string scan = "HOME=" + quoted(setup->home) + " LD_LIBRARY_PATH=" HAMMERLYN2_ARDOUR_LIB " " HAMMERLYN2_ARDOUR_LIB
                                 "/ardour-vst3-scanner -f " + quoted(setup->home / stageFolder / bundle.filename()) + " > " +
                                 quoted(setup->work / "scan.log") + " 2>&1";
        ASSERT_EQ(std::system(scan.c_str()), 0) << readText(setup->work / "scan.log");
    }
    const fs::path scripts = setup->home / ".config" / "ardour7" / "scripts";
    const fs::path source = HAMMERLYN2_ARDOUR_SCRIPTS;
    std::string score;
    for (const ScoreEvent& e : comparisonScore())
        score += "{" + std::to_string(e.frame) + "," + std::to_string(e.status) + "," + std::to_string(e.data1) + "," +
                 std::to_string(e.data2) + "},";
    writeText(scripts / "hammerlyn2_score_player.lua",
              replaced(readText(source / "hammerlyn2_score_player.lua"), "@SCORE@", score));
    const std::string frames = std::to_string(kScoreFrames);
    const std::string maxBlocks = std::to_string(kMaxBlocks);
    writeText(scripts / "hammerlyn2_capture.lua",
              replaced(replaced(readText(source / "hammerlyn2_capture.lua"), "@FRAMES@", frames), "@MAX_BLOCKS@", maxBlocks));
    setup->output = setup->work / "render.bin";
    std::string session = readText(source / "render_session.lua");
    session = replaced(session, "@PLUGIN_NAME@", "Hammerlyn2");
    session = replaced(session, "@PLUGIN_TYPE@", std::strcmp(format, "vst3") == 0 ? "VST3" : "LV2");
    session = replaced(session, "@FRAMES@", frames);
    session = replaced(session, "@MAX_BLOCKS@", maxBlocks);
    session = replaced(session, "@OUTPUT@", setup->output.string());
    setup->session = session;
}

// Whether the status of a run says Ardour crashed: killed by a signal, as the
// shell reports it or directly.
bool crashed(int status) {
    int signal = 0;
    if (WIFSIGNALED(status))
        signal = WTERMSIG(status);
    else if (WIFEXITED(status) && WEXITSTATUS(status) > 128)
        signal = WEXITSTATUS(status) - 128;
    return signal == SIGSEGV || signal == SIGABRT || signal == SIGBUS || signal == SIGILL || signal == SIGFPE;
}

// Runs the session script in one mode; a run must end with status 0 and its
// marker. Only a crash is retried, each attempt from the same files: no
// session for a new one, the session as it was saved for a reload.
void runArdour(ArdourSetup& setup, const std::string& mode, const std::string& settings, const fs::path& sessionDir,
               const char* locale, const char* marker, Render* render, std::string* output = nullptr) {
    std::string script = replaced(setup.session, "@MODE@", mode);
    script = replaced(script, "@SETTINGS@", settings);
    script = replaced(script, "@SESSION_DIR@", sessionDir.string());
    const fs::path scriptFile = setup.work / (mode + ".lua");
    writeText(scriptFile, script);
    const fs::path saved = setup.work / "saved-session";
    if (mode == "reload") {
        fs::remove_all(saved);
        fs::copy(sessionDir, saved, fs::copy_options::recursive);
    }
    std::string log;
    for (int attempt = 1; attempt <= kAttempts; ++attempt) {
        fs::remove_all(sessionDir);
        if (mode == "reload") fs::copy(saved, sessionDir, fs::copy_options::recursive);
        fs::remove(setup.output);
        const fs::path logFile = setup.work / (mode + std::to_string(attempt) + ".log");
        const std::string run = "HOME=" + quoted(setup.home) + " LC_ALL=" + locale + " timeout 300 " HAMMERLYN2_ARDOUR_LUA " " +
                                quoted(scriptFile) + " > " + quoted(logFile) + " 2>&1";
        const int status = std::system(run.c_str());
        log = readText(logFile);
        if (crashed(status)) {
            std::fprintf(stderr, "Ardour crashed in run (%s) %d of %d (status %d); retrying\n", mode.c_str(), attempt,
                         kAttempts, status);
            continue;
        }
        ASSERT_TRUE(status == 0 && log.find(marker) != std::string::npos)
            << "Ardour run (" << mode << ") failed with status " << status << "; log:\n" << log;
        if (render) {
            ASSERT_TRUE(readRender(setup.output, render)) << "unreadable capture; log:\n" << log;
        }
        if (output) *output = log;
        return;
    }
    FAIL() << "Ardour crashed in all " << kAttempts << " runs (" << mode << "); last log:\n" << log;
}

// The capture against the VST 2 build's render of the score in the same blocks.
void expectVst2Bits(const Render& render, bool withSettings, bool restored) {
    std::uint32_t total = 0;
    for (std::uint32_t frames : render.blocks) total += frames;
    ASSERT_GE(total, kScoreFrames);
    // The last block may run past the capture: render up to the captured length.
    std::vector<std::uint32_t> blocks;
    for (std::uint32_t frames : render.blocks) {
        if (total - frames >= kScoreFrames) break;
        blocks.push_back(frames);
    }
    std::vector<float> reference = renderVst2Reference(comparisonScore(), withSettings, blocks, restored);
    const std::size_t rendered = reference.size() / 2;
    ASSERT_GE(rendered, kScoreFrames);
    std::vector<float> expected(reference.begin(), reference.begin() + kScoreFrames);
    expected.insert(expected.end(), reference.begin() + static_cast<std::ptrdiff_t>(rendered),
                    reference.begin() + static_cast<std::ptrdiff_t>(rendered + kScoreFrames));
    float peak = 0.0f;
    for (float sample : render.samples) peak = std::max(peak, std::fabs(sample));
    EXPECT_GT(peak, 0.01f) << "the render must sound";
    EXPECT_EQ(firstDifference(render.samples, expected), render.samples.size())
        << "first differing sample (left, then right); Ardour ran " << render.blocks.size() << " blocks of "
        << render.blocks.front() << " frames";
}

void rendersLikeVst2(const char* format, const fs::path& bundle, const fs::path& stageFolder) {
    ArdourSetup setup;
    ASSERT_NO_FATAL_FAILURE(prepare(format, format, bundle, stageFolder, &setup));
    Render render;
    ASSERT_NO_FATAL_FAILURE(runArdour(setup, "fresh", "", setup.work / "session", "C", "HAMMERLYN2-RENDER-DONE", &render));
    expectVst2Bits(render, false, false);
}

// Knobs set in a session saved and opened again under a decimal-comma locale:
// the restored plug-in sounds as the VST 2 build does when a song with the
// same knobs is reopened.
void restoresSavedKnobs(const char* format, const fs::path& bundle, const fs::path& stageFolder) {
    ArdourSetup setup;
    ASSERT_NO_FATAL_FAILURE(prepare(format, (std::string(format) + "-state").c_str(), bundle, stageFolder, &setup));
    std::string settings;
    for (const ScoreSetting& setting : comparisonSettings()) {
        char name[kParameterTextBytes];
        formatParameterName(setting.index, name);
        char value[64];
        std::snprintf(value, sizeof(value), "%a", static_cast<double>(setting.value));
        // Lua reads hexadecimal floats exactly, whatever the locale.
        settings += "{\"" + std::string(name) + "\"," + std::string("tonumber(\"") + value + "\")},";
    }
    const fs::path session = setup.work / "session";
    ASSERT_NO_FATAL_FAILURE(runArdour(setup, "save", settings, session, "de_DE.UTF-8", "HAMMERLYN2-SAVE-DONE", nullptr));
    Render render;
    ASSERT_NO_FATAL_FAILURE(runArdour(setup, "reload", "", session, "de_DE.UTF-8", "HAMMERLYN2-RENDER-DONE", &render));
    // The VST 2 build with the same knobs, reopened from its own saved bank.
    expectVst2Bits(render, true, true);
}

}  // namespace

// Ardour offers a plug-in's parameters for automation in list order up to a
// limit (512 by default): the VST3 build's 16 lead the list, each offered,
// and the hidden ones after them are few (the host's program, block size and
// rate; 3 MIDI controllers x 16 channels).
TEST(ArdourHost, OffersEveryVst3ParameterForAutomationUnderDefaultSettings) {
    ArdourSetup setup;
    ASSERT_NO_FATAL_FAILURE(prepare("vst3", "vst3-controls", HAMMERLYN2_VST3_BUNDLE, ".vst3", &setup));
    std::string output;
    ASSERT_NO_FATAL_FAILURE(
        runArdour(setup, "controls", "", setup.work / "session", "C", "HAMMERLYN2-CONTROLS-DONE", nullptr, &output));
    std::istringstream log(output);
    int controls = 0, limit = 0;
    for (std::string line; std::getline(log, line);) {
        int index = 0, offered = 0;
        char label[64] = {};
        if (std::sscanf(line.c_str(), "HAMMERLYN2-LIMIT %d", &limit) == 1) continue;
        if (std::sscanf(line.c_str(), "HAMMERLYN2-CONTROL %d %d %63s", &index, &offered, label) != 3) continue;
        ++controls;
        if (index >= kParameterCount) continue;
        char name[kParameterTextBytes];
        formatParameterName(index, name);
        EXPECT_STREQ(label, name) << index;
        EXPECT_EQ(offered, 1) << name;
    }
    EXPECT_EQ(limit, 512) << "Ardour's default";
    EXPECT_GE(controls, kParameterCount);
    EXPECT_LE(controls - kParameterCount, 4 + 3 * 16);
}

TEST(ArdourHost, RendersTheScoreThroughTheVst3BuildBitIdenticalToVst2) {
    rendersLikeVst2("vst3", HAMMERLYN2_VST3_BUNDLE, ".vst3");
}

TEST(ArdourHost, RendersTheScoreThroughTheLv2BuildBitIdenticalToVst2) {
    rendersLikeVst2("lv2", HAMMERLYN2_LV2_BUNDLE, ".lv2");
}

TEST(ArdourHost, SessionSavedAndReopenedUnderDecimalCommaRestoresTheVst3Knobs) {
    restoresSavedKnobs("vst3", HAMMERLYN2_VST3_BUNDLE, ".vst3");
}

TEST(ArdourHost, SessionSavedAndReopenedUnderDecimalCommaRestoresTheLv2Knobs) {
    restoresSavedKnobs("lv2", HAMMERLYN2_LV2_BUNDLE, ".lv2");
}
