// Ardour, headless with its Dummy backend, as the real host: it scans the
// VST3 (with its own scanner) or the LV2 build staged alone in a private home,
// and renders the comparison score in a session through the plug-in. A Lua
// player in front of the plug-in sends each event at its exact frame, and a Lua
// capture behind it keeps the plug-in's output untouched together with the
// length of every block Ardour ran; the VST 2 build renders the same score in
// the same blocks, and the two must agree bit for bit.
//
// ardour7-lua crashes now and then in any session (also with Ardour's own
// plug-ins): a run that does not end cleanly is retried, and its output is never
// used.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

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

// One format through Ardour: stages it, scans it, renders the score.
void renderInArdour(const char* format, const fs::path& bundle, const fs::path& stageFolder, Render* render) {
    const fs::path work = fs::path(HAMMERLYN2_ARDOUR_WORK) / format;
    fs::remove_all(work);
    const fs::path home = work / "home";
    const std::string env = "HOME=" + quoted(home) + " LC_ALL=C ";
    stage(bundle, home / stageFolder);
    if (std::strcmp(format, "vst3") == 0) {
        const std::string scan = env + "LD_LIBRARY_PATH=" HAMMERLYN2_ARDOUR_LIB " " HAMMERLYN2_ARDOUR_LIB "/ardour-vst3-scanner -f " +
                                 quoted(home / stageFolder / bundle.filename()) + " > " + quoted(work / "scan.log") + " 2>&1";
        ASSERT_EQ(std::system(scan.c_str()), 0) << readText(work / "scan.log");
    }

    const fs::path scripts = home / ".config" / "ardour7" / "scripts";
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
    const fs::path output = work / "render.bin";
    std::string session = readText(source / "render_session.lua");
    session = replaced(session, "@PLUGIN_NAME@", "Hammerlyn2");
    session = replaced(session, "@PLUGIN_TYPE@", std::strcmp(format, "vst3") == 0 ? "VST3" : "LV2");
    session = replaced(session, "@FRAMES@", frames);
    session = replaced(session, "@MAX_BLOCKS@", maxBlocks);
    session = replaced(session, "@OUTPUT@", output.string());

    std::string log;
    for (int attempt = 1; attempt <= kAttempts; ++attempt) {
        const fs::path sessionDir = work / ("session" + std::to_string(attempt));
        const fs::path script = work / "render.lua";
        writeText(script, replaced(session, "@SESSION_DIR@", sessionDir.string()));
        fs::remove(output);
        const fs::path logFile = work / ("ardour" + std::to_string(attempt) + ".log");
        const std::string run = env + "timeout 300 " HAMMERLYN2_ARDOUR_LUA " " + quoted(script) + " > " + quoted(logFile) + " 2>&1";
        const int status = std::system(run.c_str());
        log = readText(logFile);
        if (status == 0 && log.find("HAMMERLYN2-RENDER-DONE") != std::string::npos && readRender(output, render)) return;
        std::fprintf(stderr, "Ardour run %d of %d did not end cleanly (status %d); retrying\n", attempt, kAttempts, status);
    }
    FAIL() << "no clean Ardour run in " << kAttempts << " attempts; last log:\n" << log;
}

void expectVst2Bits(const char* format, const fs::path& bundle, const fs::path& stageFolder) {
    Render render;
    renderInArdour(format, bundle, stageFolder, &render);
    if (::testing::Test::HasFatalFailure()) return;
    std::uint32_t total = 0;
    for (std::uint32_t frames : render.blocks) total += frames;
    ASSERT_GE(total, kScoreFrames);
    // The last block may run past the capture: render the VST 2 build up to the
    // captured length in the same blocks.
    std::vector<std::uint32_t> blocks;
    for (std::uint32_t frames : render.blocks) {
        if (total - frames >= kScoreFrames) break;
        blocks.push_back(frames);
    }
    std::vector<float> reference = renderVst2Reference(comparisonScore(), false, blocks);
    const std::size_t rendered = reference.size() / 2;
    ASSERT_GE(rendered, kScoreFrames);
    // Left and right of the first kScoreFrames frames.
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

}  // namespace

TEST(ArdourHost, RendersTheScoreThroughTheVst3BuildBitIdenticalToVst2) {
    expectVst2Bits("vst3", HAMMERLYN2_VST3_BUNDLE, ".vst3");
}

TEST(ArdourHost, RendersTheScoreThroughTheLv2BuildBitIdenticalToVst2) {
    expectVst2Bits("lv2", HAMMERLYN2_LV2_BUNDLE, ".lv2");
}
