// The CLAP build driven by the test host: what it announces, its parameter
// texts against the VST 2 build's and typed values, its render against the VST 2
// build's render bit for bit, its state from a careless host (all or
// nothing), and what a hostile host's events and calls do. What the VST3
// build must do as well is in DpfFormatTest.cpp.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "Hammerlyn2Version.h"
#if defined(_WIN32)
#include <windows.h>
#endif
#include "instrument/identity/ParameterIdentity.h"
#include "tests/formats/ClapHost.h"
#include "tests/formats/ProgramEdits.h"
#include "tests/formats/SavedStates.h"
#include "tests/formats/Score.h"
#include "tests/support/BuiltPlugin.h"

namespace {

constexpr const char* kClapId = "com.quillfeather.hammerlyn2";
constexpr double kRate = 44100.0;

ClapModule& clapModule() {
    static ClapModule module(HAMMERLYN2_CLAP_PATH);
    return module;
}

std::unique_ptr<ClapInstance> activeClap() {
    auto clap = ClapInstance::create(clapModule(), kClapId);
    if (clap && !clap->activate(kRate, kComparisonMaxBlock)) return nullptr;
    return clap;
}

ClapEvent clapEventFor(const ScoreEvent& event, std::uint32_t frame) {
    ClapEvent out{};
    out.frame = frame;
    const int kind = event.status & 0xF0;
    if (kind == 0x90 && event.data2 > 0) {
        out.kind = ClapEvent::NoteOn;
        out.key = event.data1;
        out.velocity = event.data2 / 127.0;
    } else if (kind == 0x80) {
        out.kind = ClapEvent::NoteOff;
        out.key = event.data1;
        out.velocity = event.data2 / 127.0;
    } else {
        out.kind = ClapEvent::Midi;
        out.bytes[0] = event.status;
        out.bytes[1] = event.data1;
        out.bytes[2] = event.data2;
    }
    return out;
}

// The comparison piece through the CLAP build, in the comparison blocks.
std::vector<float> renderClap(ClapInstance& clap) {
    std::vector<ClapEvent> settings;
    for (const ScoreSetting& setting : comparisonSettings()) {
        ClapEvent event{};
        event.kind = ClapEvent::Parameter;
        event.parameter = static_cast<clap_id>(setting.index);
        event.value = setting.value;
        settings.push_back(event);
    }
    clap.flushParameters(settings);
    std::vector<float> left(kScoreFrames), right(kScoreFrames);
    std::size_t next = 0;
    std::uint32_t start = 0;
    const auto& score = comparisonScore();
    for (std::uint32_t frames : comparisonBlocks()) {
        std::vector<ClapEvent> events;
        for (; next < score.size() && score[next].frame < start + frames; ++next)
            events.push_back(clapEventFor(score[next], score[next].frame - start));
        EXPECT_TRUE(clap.process(events, left.data() + start, right.data() + start, frames));
        start += frames;
    }
    left.insert(left.end(), right.begin(), right.end());
    return left;
}

std::string vst2Text(PluginInstance& vst, int index, float value) {
    vst.setParameter(index, value);
    return vst.parameterText(effGetParamDisplay, index) + " " + vst.parameterText(effGetParamLabel, index);
}

}  // namespace

TEST(ClapFormat, AnnouncesItselfAndTheVst2ParametersWithTheirTexts) {
    ASSERT_TRUE(clapModule().loaded()) << clapModule().error();
    const clap_plugin_factory_t* factory = clapModule().pluginFactory();
    ASSERT_EQ(factory->get_plugin_count(factory), 1u);
    const clap_plugin_descriptor_t* descriptor = factory->get_plugin_descriptor(factory, 0);
    ASSERT_NE(descriptor, nullptr);
    EXPECT_STREQ(descriptor->id, kClapId);
    EXPECT_STREQ(descriptor->name, "Hammerlyn2");
    EXPECT_STREQ(descriptor->vendor, "Quillfeather");
    EXPECT_STREQ(descriptor->version, HAMMERLYN2_VERSION_TEXT);
    std::vector<std::string> features;
    for (const char* const* f = descriptor->features; f && *f; ++f) features.push_back(*f);
    EXPECT_NE(std::find(features.begin(), features.end(), CLAP_PLUGIN_FEATURE_INSTRUMENT), features.end());

    auto clap = ClapInstance::create(clapModule(), kClapId);
    ASSERT_NE(clap, nullptr);
    auto vst = startedInstance();
    ASSERT_NE(vst, nullptr);
    ASSERT_EQ(clap->parameterCount(), 16u);
    for (std::uint32_t i = 0; i < 16; ++i) {
        clap_param_info_t info{};
        ASSERT_TRUE(clap->parameterInfo(i, &info));
        const int index = static_cast<int>(info.id);
        SCOPED_TRACE(info.name);
        EXPECT_EQ(info.id, i);
        EXPECT_EQ(std::string(info.name), vst->parameterText(effGetParamName, index));
        EXPECT_TRUE(info.flags & CLAP_PARAM_IS_AUTOMATABLE);
        EXPECT_EQ(info.min_value, 0.0);
        EXPECT_EQ(info.max_value, 1.0);
        // Defaults and the starting values are program 0's, to the bit.
        EXPECT_EQ(static_cast<float>(info.default_value), vst->getParameter(index));
        EXPECT_EQ(static_cast<float>(clap->parameterValue(info.id)), vst->getParameter(index));
        for (float value : {0.0f, 0.01f, 0.25f, 0.5f, 0.7071f, 0.99f, 1.0f}) {
            const std::string text = clap->valueText(info.id, value);
            EXPECT_EQ(text, vst2Text(*vst, index, value)) << value;
            // A typed text is read back to a value that shows the same text.
            double typed = -1.0;
            ASSERT_TRUE(clap->textValue(info.id, text.c_str(), &typed)) << text;
            EXPECT_EQ(clap->valueText(info.id, typed), text) << value;
        }
    }
    double ignored = 0.0;
    EXPECT_FALSE(clap->textValue(0, "loud", &ignored));
}

TEST(ClapFormat, RendersTheVst2BuildsBitsForTheSameNotesInUnevenBlocks) {
    auto clap = activeClap();
    ASSERT_NE(clap, nullptr);
    const std::vector<float> reference = renderVst2Reference(comparisonScore(), true);
    const std::vector<float> rendered = renderClap(*clap);
    ASSERT_EQ(rendered.size(), reference.size());
    float peak = 0.0f;
    for (float sample : reference) peak = std::max(peak, std::fabs(sample));
    EXPECT_GT(peak, 0.01f) << "the piece must sound";
    EXPECT_EQ(firstDifference(rendered, reference), rendered.size()) << "first differing sample (left, then right)";
}

#if defined(_WIN32)
namespace {

// The host's window the panels are put into.
HWND hostWindow(int width, int height) {
    return CreateWindowExA(0, "STATIC", "host", WS_OVERLAPPEDWINDOW, 0, 0, width, height, nullptr, nullptr,
                           GetModuleHandleA(nullptr), nullptr);
}

// Puts the created panel into `parent` and shows it, as a host does; true
// when the plug-in took the window.
bool showPanelIn(ClapInstance& clap, HWND parent) {
    const clap_plugin_gui_t* gui = clap.gui();
    clap_window_t window{};
    window.api = CLAP_WINDOW_API_WIN32;
    window.win32 = parent;
    if (!gui->set_parent(clap.plugin(), &window)) return false;
    gui->show(clap.plugin());
    clap.runTimers();
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&message);
    return true;
}

}  // namespace
#endif

#if defined(_WIN32)
// The panel opens as a child of the host's window, at the panel's size, and
// goes again, twice over.
TEST(ClapFormat, PanelOpensInTheHostWindowAndClosesAgain) {
    auto clap = activeClap();
    ASSERT_NE(clap, nullptr);
    const clap_plugin_gui_t* gui = clap->gui();
    ASSERT_NE(gui, nullptr);
    ASSERT_TRUE(gui->is_api_supported(clap->plugin(), CLAP_WINDOW_API_WIN32, false));
    HWND parent = hostWindow(700, 400);
    ASSERT_NE(parent, nullptr);
    for (int round = 0; round < 2; ++round) {
        ASSERT_TRUE(gui->create(clap->plugin(), CLAP_WINDOW_API_WIN32, false));
        uint32_t width = 0, height = 0;
        ASSERT_TRUE(gui->get_size(clap->plugin(), &width, &height));
        EXPECT_EQ(width, 512u);
        EXPECT_EQ(height, 272u);
        ASSERT_TRUE(showPanelIn(*clap, parent));
        HWND child = GetWindow(parent, GW_CHILD);
        ASSERT_NE(child, nullptr) << "round " << round;
        RECT rect{};
        GetClientRect(child, &rect);
        EXPECT_EQ(rect.right - rect.left, 512);
        EXPECT_EQ(rect.bottom - rect.top, 272);
        if (round == 0) {
            clap_gui_resize_hints_t hints{};
            EXPECT_TRUE(gui->get_resize_hints(clap->plugin(), &hints)) << "an answer: not resizable";
            EXPECT_FALSE(hints.can_resize_horizontally || hints.can_resize_vertically);
            // The host enlarges the panel's window: the panel shows once and
            // its edge colour fills the rest (pixels read back, every 4th, inside
            // the host window's client area).
            ShowWindow(parent, SW_SHOW);
            SetWindowPos(child, nullptr, 0, 0, 640, 340, SWP_NOZORDER | SWP_NOMOVE);
            UpdateWindow(child);
            // White first, where the window system would leave whatever was there.
            HDC dc = GetDC(child);
            const RECT all{0, 0, 640, 340};
            FillRect(dc, &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
            RedrawWindow(child, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
            const COLORREF edge = GetPixel(dc, 511, 271);
            int outside = 0, panelColours = 0;
            for (int y = 0; y < 340; y += 4)
                for (int x = 0; x < 640; x += 4) {
                    const bool differs = GetPixel(dc, x, y) != edge;
                    if (x >= 512 || y >= 272)
                        outside += differs;
                    else
                        panelColours += differs;
                }
            ReleaseDC(child, dc);
            EXPECT_NE(edge, CLR_INVALID);
            EXPECT_EQ(outside, 0) << "pixels beside and below the panel not in its edge colour";
            EXPECT_GT(panelColours, 500) << "the panel itself shows";
        }
        gui->hide(clap->plugin());
        gui->destroy(clap->plugin());
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&message);
        EXPECT_EQ(GetWindow(parent, GW_CHILD), nullptr) << "round " << round;
    }
    DestroyWindow(parent);
}
#endif

#if defined(_WIN32)
// A knob dragged on the panel reaches the host as edits of its parameter inside
// a gesture, and the plug-in takes the new value.
TEST(ClapFormat, PanelKnobTurnsReachTheHostAsEditsWithGestures) {
    auto clap = activeClap();
    ASSERT_NE(clap, nullptr);
    const clap_plugin_gui_t* gui = clap->gui();
    ASSERT_NE(gui, nullptr);
    HWND parent = hostWindow(700, 400);
    ASSERT_NE(parent, nullptr);
    ASSERT_TRUE(gui->create(clap->plugin(), CLAP_WINDOW_API_WIN32, false));
    ASSERT_TRUE(showPanelIn(*clap, parent));
    HWND panel = GetWindow(parent, GW_CHILD);
    ASSERT_NE(panel, nullptr);
    const double before = clap->parameterValue(1);
    // The SAW knob's centre; 40 pixels up turn it by a fifth of its range.
    SendMessageA(panel, WM_MOUSEMOVE, 0, MAKELPARAM(108, 44));
    SendMessageA(panel, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(108, 44));
    SendMessageA(panel, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(108, 24));
    SendMessageA(panel, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(108, 4));
    SendMessageA(panel, WM_LBUTTONUP, 0, MAKELPARAM(108, 4));
    clap->runTimers();
    std::vector<float> left(64), right(64);
    ASSERT_TRUE(clap->process({}, left.data(), right.data(), 64));
    const auto& sent = clap->sent();
    ASSERT_GE(sent.size(), 3u) << "the edit did not reach the host";
    EXPECT_EQ(sent.front().type, CLAP_EVENT_PARAM_GESTURE_BEGIN);
    EXPECT_EQ(sent.back().type, CLAP_EVENT_PARAM_GESTURE_END);
    for (std::size_t i = 1; i + 1 < sent.size(); ++i) EXPECT_EQ(sent[i].type, CLAP_EVENT_PARAM_VALUE);
    for (const ClapOutEvent& event : sent) EXPECT_EQ(event.parameter, 1u);
    EXPECT_EQ(static_cast<float>(sent[sent.size() - 2].value), static_cast<float>(clap->parameterValue(1)));
    EXPECT_NEAR(clap->parameterValue(1), before + 0.2, 1e-6);
    gui->destroy(clap->plugin());
    DestroyWindow(parent);
}
#endif

#if defined(_WIN32)
// The host's scale of 2 (set_scale before the window) gives the 2x panel and
// size; a program chosen from the panel's menu reaches the host as sixteen
// edits, each inside a gesture, with the program's values, and the plug-in
// takes them. The menu is the system's: the keys that choose program 3 (six
// steps down past the two sizes, then Enter) wait in the queue for it.
TEST(ClapFormat, HostScaleTwoGivesTheDoublePanelAndItsMenuLoadsAProgramAsEdits) {
    auto clap = activeClap();
    ASSERT_NE(clap, nullptr);
    const clap_plugin_gui_t* gui = clap->gui();
    ASSERT_NE(gui, nullptr);
    HWND parent = hostWindow(1100, 640);
    ASSERT_NE(parent, nullptr);
    ASSERT_TRUE(gui->create(clap->plugin(), CLAP_WINDOW_API_WIN32, false));
    ASSERT_TRUE(gui->set_scale(clap->plugin(), 2.0));
    uint32_t width = 0, height = 0;
    ASSERT_TRUE(gui->get_size(clap->plugin(), &width, &height));
    EXPECT_EQ(width, 1024u);
    EXPECT_EQ(height, 544u);
    ASSERT_TRUE(showPanelIn(*clap, parent));
    MSG message;
    ASSERT_TRUE(gui->get_size(clap->plugin(), &width, &height));
    EXPECT_EQ(width, 1024u);
    EXPECT_EQ(height, 544u);
    HWND panel = GetWindow(parent, GW_CHILD);
    ASSERT_NE(panel, nullptr);
    RECT rect{};
    GetClientRect(panel, &rect);
    EXPECT_EQ(rect.right - rect.left, 1024);
    EXPECT_EQ(rect.bottom - rect.top, 544);

    for (int i = 0; i < 6; ++i) PostMessageA(panel, WM_KEYDOWN, VK_DOWN, 0);
    PostMessageA(panel, WM_KEYDOWN, VK_RETURN, 0);
    SendMessageA(panel, WM_MOUSEMOVE, 0, MAKELPARAM(800, 200));
    SendMessageA(panel, WM_RBUTTONDOWN, MK_RBUTTON, MAKELPARAM(800, 200));
    SendMessageA(panel, WM_RBUTTONUP, 0, MAKELPARAM(800, 200));
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&message);
    clap->runTimers();
    std::vector<float> left(64), right(64);
    ASSERT_TRUE(clap->process({}, left.data(), right.data(), 64));
    EXPECT_TRUE(programArrivedAsEdits(*clap, 3));
    gui->destroy(clap->plugin());
    DestroyWindow(parent);
}
#endif

namespace {

ClapEvent noteEvent(ClapEvent::Kind kind, int key, std::uint32_t frame, double velocity = 0.8) {
    ClapEvent event{};
    event.kind = kind;
    event.key = key;
    event.frame = frame;
    event.velocity = velocity;
    return event;
}
ClapEvent on(int key, std::uint32_t frame = 0, double velocity = 0.8) { return noteEvent(ClapEvent::NoteOn, key, frame, velocity); }
ClapEvent off(int key, std::uint32_t frame) { return noteEvent(ClapEvent::NoteOff, key, frame); }
ClapEvent valueEvent(clap_id id, double value) {
    ClapEvent event{};
    event.kind = ClapEvent::Parameter;
    event.parameter = id;
    event.value = value;
    return event;
}

// Two blocks of 512 frames from a fresh instance: the events in the first
// (after flushing `flushed`), none in the second; left, then right.
std::vector<float> renderFresh(const std::vector<ClapEvent>& events, const std::vector<ClapEvent>& flushed = {}) {
    auto clap = activeClap();
    if (!clap) return {};
    clap->flushParameters(flushed);
    std::vector<float> left(1024), right(1024);
    EXPECT_TRUE(clap->process(events, left.data(), right.data(), 512));
    EXPECT_TRUE(clap->process({}, left.data() + 512, right.data() + 512, 512));
    left.insert(left.end(), right.begin(), right.end());
    return left;
}

}  // namespace

// What a careless or hostile host hands over sounds as what it stands for (or
// as nothing), without a fault the sanitizers would stop at.
TEST(ClapFormat, HostileEventsSoundAsWhatTheyStandFor) {
    ClapEvent otherSpace = on(60);
    otherSpace.space = 1;
    ClapEvent shortNote = on(62);
    shortNote.size = 8;
    ClapEvent shortValue = valueEvent(15, 0.1);
    shortValue.size = 12;
    ClapEvent midiBeyondKeys{};
    midiBeyondKeys.kind = ClapEvent::Midi;
    midiBeyondKeys.bytes[0] = 0x90;
    midiBeyondKeys.bytes[1] = 188;
    midiBeyondKeys.bytes[2] = 100;
    ClapEvent midiNote = midiBeyondKeys;
    midiNote.bytes[1] = 60;
    const std::vector<ClapEvent> unknownIds = {valueEvent(16, 0.9), valueEvent(0x40000000, 0.9)};
    struct Case {
        const char* what;
        std::vector<ClapEvent> given, equivalent, flushed;
    };
    const Case cases[] = {
        {"parameter ids not ours, in process and flush", {unknownIds[0], on(60), unknownIds[1]}, {on(60)}, unknownIds},
        {"a note of another event space", {otherSpace}, {}, {}},
        {"events shorter than their type", {shortNote, shortValue}, {}, {}},
        {"a velocity that is no number", {on(60, 0, std::nan(""))}, {}, {}},
        {"a huge velocity", {on(60, 0, 1e300)}, {on(60, 0, 1.0)}, {}},
        {"keys outside 0..127", {on(-1), on(-32768), on(128), on(32767, 3)}, {}, {}},
        {"a MIDI note byte beyond 127 plays its low seven bits", {midiBeyondKeys}, {midiNote}, {}},
        {"a note off for key -1 releases every key", {on(60), on(64), off(-1, 100)}, {on(60), on(64), off(60, 100), off(64, 100)}, {}},
        {"notes out of time order", {on(60, 10), off(60, 20), on(64, 50), on(67, 40)},
         {on(60, 10), off(60, 20), on(67, 40), on(64, 50)}, {}},
        {"a note off out of time order", {on(60, 10), on(60, 20), on(64, 50), off(60, 30)},
         {on(60, 10), on(60, 20), off(60, 30), on(64, 50)}, {}},
    };
    const std::vector<float> nothing = renderFresh({});
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::vector<float> given = renderFresh(c.given, c.flushed);
        const std::vector<float> equivalent = renderFresh(c.equivalent);
        ASSERT_EQ(given.size(), 2048u);
        EXPECT_EQ(firstDifference(given, equivalent), given.size());
        if (!c.equivalent.empty()) {
            EXPECT_NE(equivalent, nothing) << "the equivalent must sound";
        }
    }
}

// After a held note, a note and all notes off (controller 123) in a call of
// no frames act as at the next block's start.
TEST(ClapFormat, NotesAndControllersInACallWithoutFramesActAtTheNextBlock) {
    ClapEvent cc123{};
    cc123.kind = ClapEvent::Midi;
    cc123.bytes[0] = 0xB0;
    cc123.bytes[1] = 123;
    const std::vector<ClapEvent> events = {on(57), cc123};
    std::vector<float> sound[2];
    for (int zero : {0, 1}) {
        auto clap = activeClap();
        ASSERT_NE(clap, nullptr);
        sound[zero].resize(1024);
        std::vector<float> right(512);
        ASSERT_TRUE(clap->process({on(50)}, sound[zero].data(), right.data(), 512));
        ASSERT_TRUE(!zero || clap->process(events, sound[zero].data(), right.data(), 0));
        ASSERT_TRUE(clap->process(zero ? std::vector<ClapEvent>{} : events, sound[zero].data() + 512, right.data(), 512));
    }
    EXPECT_EQ(firstDifference(sound[1], sound[0]), sound[0].size());
}

// 300 notes and their note offs in one block (600 events, past DPF's own 512)
// at the shortest release: nothing sounds one to three seconds later.
TEST(ClapFormat, AFloodOfNotesLosesNoNoteOff) {
    auto clap = activeClap();
    ASSERT_NE(clap, nullptr);
    clap->flushParameters({valueEvent(ParameterIndex::Release, 0.0)});
    std::vector<ClapEvent> flood;
    for (int i = 0; i < 300; ++i) flood.push_back(on(24 + i % 100, static_cast<std::uint32_t>(i % 256)));
    for (int i = 0; i < 300; ++i) flood.push_back(off(24 + i % 100, 256 + static_cast<std::uint32_t>(i % 256)));
    std::vector<float> left(512), right(512);
    float late = 0.0f;
    for (int block = 0; block < 86 * 3; ++block) {
        ASSERT_TRUE(clap->process(block == 0 ? flood : std::vector<ClapEvent>{}, left.data(), right.data(), 512));
        for (float x : left) late = std::max(late, block >= 86 ? std::abs(x) : 0.0f);
    }
    EXPECT_LT(late, 1e-4f);
}

// Questions about parameters that are not ours are answered false, a value
// outside 0..1 shows the text of the nearest end, and a call with more
// output channels than the instrument has is refused.
TEST(ClapFormat, HostileCallsAreRefused) {
    auto clap = activeClap();
    ASSERT_NE(clap, nullptr);
    for (clap_id id : {16u, 17u, 0x7FFFFFFFu, 0xFFFFFFFFu}) {
        SCOPED_TRACE(id);
        clap_param_info_t info{};
        double value = 0.0;
        EXPECT_FALSE(clap->parameterInfo(id, &info));
        EXPECT_EQ(clap->parameterValue(id), -1.0);
        EXPECT_EQ(clap->valueText(id, 0.5), "<refused>");
        EXPECT_FALSE(clap->textValue(id, "50 %", &value));
    }
    for (clap_id id = 0; id < 16; ++id) {
        EXPECT_EQ(clap->valueText(id, -1.0), clap->valueText(id, 0.0)) << id;
        EXPECT_EQ(clap->valueText(id, 2.0), clap->valueText(id, 1.0)) << id;
        EXPECT_EQ(clap->valueText(id, std::nan("")), clap->valueText(id, 0.0)) << id;
    }
    clap->outputChannels = 3;
    std::vector<float> left(512, 5.0f), right(512, 5.0f);
    EXPECT_FALSE(clap->process({on(60)}, left.data(), right.data(), 512));
    EXPECT_EQ(std::count(left.begin(), left.end(), 5.0f), 512);
    // And the instance plays on as a fresh one.
    clap->outputChannels = 2;
    ASSERT_TRUE(clap->process({on(60)}, left.data(), right.data(), 512));
    ASSERT_TRUE(clap->process({}, left.data(), right.data(), 512));
    const std::vector<float> fresh = renderFresh({on(60)});
    EXPECT_EQ(std::vector<float>(fresh.begin() + 512, fresh.begin() + 1024), left);
}

// A state from a careless host (cut anywhere, a read error after the bank,
// reads that report more than they delivered) is reported as not loaded and
// leaves the instance exactly as it was, without reading past any state the
// instrument writes; a byte changed anywhere keeps every value in range and
// the sound finite. (What VST3 shares is in DpfFormatTest.cpp.)
TEST(ClapFormat, StateFromACarelessHostIsTakenWholeOrNotAtAll) {
    auto clap = activeClap();
    ASSERT_NE(clap, nullptr);
    const StateBytes onProgram3 = withProgram(clap->saveState(), 3);
    ASSERT_TRUE(clap->loadState(onProgram3));
    clap->flushParameters({valueEvent(4, 0.125), valueEvent(11, 0.75)});
    const StateBytes before = clap->saveState();

    struct Case {
        std::string what;
        StateBytes state;
        std::int64_t overReport = 0;
        std::size_t failAfter = SIZE_MAX;
    };
    std::vector<Case> cases;
    for (std::size_t cut = 0; cut < onProgram3.size(); cut += 97)
        cases.push_back({"cut at " + std::to_string(cut), StateBytes(onProgram3.begin(), onProgram3.begin() + cut)});
    cases.push_back({"a read error after the bank", onProgram3, 0, bytesThroughBank(onProgram3)});
    cases.push_back({"reads that report more than they delivered", onProgram3, 600});
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        clap->readOverReport = c.overReport;
        clap->failReadAfter = c.failAfter;
        const auto start = std::chrono::steady_clock::now();
        EXPECT_FALSE(clap->loadState(c.state));
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        // Nothing larger than any state the instrument writes is read to its end.
        EXPECT_LE(clap->bytesRead, (1u << 20) + 4096u);
        EXPECT_LT(seconds, 1.0);
        clap->readOverReport = 0;
        clap->failReadAfter = SIZE_MAX;
        EXPECT_EQ(clap->saveState(), before);
    }
    // A byte changed anywhere: whatever is taken keeps every value 0..1 and the sound finite.
    std::vector<float> left(512), right(512);
    for (std::size_t at = 0; at < onProgram3.size(); at += 61) {
        StateBytes changed = onProgram3;
        changed[at] ^= 0x5A;
        clap->loadState(changed);
        for (clap_id id = 0; id < 16; ++id) EXPECT_TRUE(clap->parameterValue(id) >= 0.0 && clap->parameterValue(id) <= 1.0);
        ASSERT_TRUE(clap->process({on(60)}, left.data(), right.data(), 512));
        for (float sample : left) ASSERT_TRUE(std::isfinite(sample));
    }
}

// Typed values: read in the unit written (seconds, a decimal comma, trailing
// blanks), refused in a unit the parameter does not have, and every shown text
// typed back shows itself again.
TEST(ClapFormat, TypedTextIsReadInItsUnitAndShownTextsComeBackAsThemselves) {
    auto clap = ClapInstance::create(clapModule(), kClapId);
    ASSERT_NE(clap, nullptr);
    const auto idOf = [&](const char* name) {
        for (std::uint32_t i = 0; i < clap->parameterCount(); ++i) {
            clap_param_info_t info{};
            if (clap->parameterInfo(i, &info) && std::strcmp(info.name, name) == 0) return info.id;
        }
        return static_cast<clap_id>(-1);
    };
    struct Typed {
        const char* parameter;
        const char* typed;
        const char* shown;  // null: refused
    };
    const Typed table[] = {
        {"Attack", "100 ms", "100 ms"},      {"Decay", "1000 ms", "1000 ms"}, {"Release", "1000ms", "1000 ms"},
        {"Decay", "3 s ", "3.00 s"},         {"Decay", "3 S", "3.00 s"},      {"Release", "0,5 s", "500 ms"},
        {"Body100", "3,5 dB", "+3.5 dB"},    {"Body200", "-3,5", "-3.5 dB"},  {"SAW", "42,0 %", "42 %"},
        {"Attack", "3 dB", nullptr},         {"Body300", "5 ms", nullptr},    {"Volume", "loud", nullptr},
    };
    for (const Typed& t : table) {
        SCOPED_TRACE(std::string(t.parameter) + " \"" + t.typed + "\"");
        double value = -1.0;
        const bool read = clap->textValue(idOf(t.parameter), t.typed, &value);
        ASSERT_EQ(read, t.shown != nullptr);
        if (read) {
            EXPECT_EQ(clap->valueText(idOf(t.parameter), value), t.shown);
        }
    }
    for (clap_id id = 0; id < 16; ++id) {
        for (int step = 0; step <= 1000; ++step) {
            const std::string shown = clap->valueText(id, step / 1000.0);
            double value = -1.0;
            ASSERT_TRUE(clap->textValue(id, shown.c_str(), &value)) << shown;
            ASSERT_EQ(clap->valueText(id, value), shown) << "parameter " << id << " at " << step / 1000.0;
        }
    }
}

