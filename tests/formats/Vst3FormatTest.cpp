// The VST3 build loaded by a minimal VST3 host of our own (natively, and on
// Windows under Wine): factory and class information, the component with its
// processor and controller, the comparison piece rendered bit-identical to the
// VST 2 build (notes as note events, bends and controllers through the MIDI
// mapping), the factory programs as the program list, what a hostile host's
// events, changes and calls do, and changes sent in calls without frames.
// What the CLAP build must do as well is in DpfFormatTest.cpp.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "Hammerlyn2Version.h"
#include "instrument/ParameterTable.h"
#include "tests/formats/SavedStates.h"
#include "tests/formats/Score.h"
#include "tests/formats/Vst3Host.h"
#include "tests/support/BuiltPlugin.h"

#if defined(_WIN32)
#include <windows.h>
#endif

namespace {

Vst3Module& vst3Module() {
    static Vst3Module module(HAMMERLYN2_VST3_PATH);
    return module;
}

// The comparison piece through the VST3 build, in the comparison blocks.
std::vector<float> renderVst3(Vst3Instance& vst3, bool withSettings) {
    std::vector<float> left(kScoreFrames), right(kScoreFrames);
    v3_param_id bend = 0, cc123 = 0, cc126 = 0;
    EXPECT_TRUE(vst3.controllerId(129, &bend) || vst3.controllerId(128, &bend));
    EXPECT_TRUE(vst3.controllerId(123, &cc123));
    EXPECT_TRUE(vst3.controllerId(126, &cc126));
    std::vector<std::pair<v3_param_id, float>> settings;
    if (withSettings)
        for (const ScoreSetting& setting : comparisonSettings()) {
            char name[kParameterTextBytes];
            formatParameterName(setting.index, name);
            settings.emplace_back(vst3.parameterId(name), setting.value);
        }
    std::size_t next = 0;
    std::uint32_t start = 0;
    const auto& score = comparisonScore();
    for (std::uint32_t frames : comparisonBlocks()) {
        Vst3EventList events;
        Vst3ParameterChanges changes;
        if (start == 0)
            for (const auto& [id, value] : settings) changes.change(id, 0, value);
        for (; next < score.size() && score[next].frame < start + frames; ++next) {
            const ScoreEvent& e = score[next];
            const int32_t offset = static_cast<int32_t>(e.frame - start);
            v3_event event{};
            event.sample_offset = offset;
            switch (e.status & 0xF0) {
            case 0x90:
                event.type = V3_EVENT_NOTE_ON;
                event.note_on = {0, e.data1, 0.0f, e.data2 / 127.0f, 0, -1};
                events.events.push_back(event);
                break;
            case 0x80:
                event.type = V3_EVENT_NOTE_OFF;
                event.note_off = {0, e.data1, e.data2 / 127.0f, -1, 0.0f};
                events.events.push_back(event);
                break;
            case 0xE0:
                changes.change(bend, offset, ((e.data2 << 7) | e.data1) / 16383.0);
                break;
            case 0xB0:
                changes.change(e.data1 == 123 ? cc123 : cc126, offset, e.data2 / 127.0);
                break;
            }
        }
        EXPECT_TRUE(vst3.process(events, changes, left.data() + start, right.data() + start, static_cast<int32_t>(frames)));
        start += frames;
    }
    left.insert(left.end(), right.begin(), right.end());
    return left;
}

v3_event noteEvent(bool noteOn, int16_t pitch, int32_t offset, float velocity = 0.8f) {
    v3_event event{};
    event.sample_offset = offset;
    event.type = noteOn ? V3_EVENT_NOTE_ON : V3_EVENT_NOTE_OFF;
    if (noteOn)
        event.note_on = {0, pitch, 0.0f, velocity, 0, -1};
    else
        event.note_off = {0, pitch, velocity, -1, 0.0f};
    return event;
}
v3_event on(int16_t pitch, int32_t offset = 0, float velocity = 0.8f) { return noteEvent(true, pitch, offset, velocity); }
v3_event off(int16_t pitch, int32_t offset) { return noteEvent(false, pitch, offset); }

// One parameter change: the id (or the title of one of ours), the frame and the value.
struct Change {
    v3_param_id id;
    int32_t offset;
    double value;
};

// Two blocks of 512 frames from a fresh instance: the events and changes in
// the first, none in the second; left, then right.
std::vector<float> renderFresh(const std::vector<v3_event>& events, const std::vector<Change>& changes = {}) {
    Vst3Instance vst3(vst3Module().factory);
    if (!vst3.ready() || !vst3.start(44100.0, 512)) return {};
    Vst3EventList list;
    list.events = events;
    Vst3ParameterChanges queued;
    for (const Change& change : changes) queued.change(change.id, change.offset, change.value);
    std::vector<float> left(1024), right(1024);
    EXPECT_TRUE(vst3.process(list, queued, left.data(), right.data(), 512));
    Vst3EventList none;
    Vst3ParameterChanges unchanged;
    EXPECT_TRUE(vst3.process(none, unchanged, left.data() + 512, right.data() + 512, 512));
    left.insert(left.end(), right.begin(), right.end());
    return left;
}

// Our sixteen parameters' ids, found by their titles.
std::vector<v3_param_id> ourParameterIds(Vst3Instance& vst3) {
    std::vector<v3_param_id> ids;
    for (int index = 0; index < kParameterCount; ++index) {
        char name[kParameterTextBytes];
        formatParameterName(index, name);
        ids.push_back(vst3.parameterId(name));
    }
    return ids;
}

// A state round trip through the component (and the controller, when it is a class of its own).
v3_result setState(Vst3Instance& vst3, const std::vector<std::uint8_t>& bytes, int32_t overReport = 0) {
    Vst3Stream in;
    in.bytes = bytes;
    in.overReport = overReport;
    const v3_result result = v3_cpp_obj(vst3.component)->set_state(vst3.component, in.object());
    if (result == V3_OK && vst3.separateController) {
        Vst3Stream again;
        again.bytes = bytes;
        v3_cpp_obj(vst3.controller)->set_component_state(vst3.controller, again.object());
    }
    return result;
}
std::vector<std::uint8_t> getState(Vst3Instance& vst3) {
    Vst3Stream out;
    if (v3_cpp_obj(vst3.component)->get_state(vst3.component, out.object()) != V3_OK) return {};
    return out.bytes;
}

}  // namespace

TEST(Vst3Format, AnnouncesItsIdentityAndTheFactoryPrograms) {
    v3_plugin_factory** factory = vst3Module().factory;
    ASSERT_NE(factory, nullptr) << "cannot load " << HAMMERLYN2_VST3_PATH;
    v3_factory_info factoryInfo{};
    ASSERT_EQ(v3_cpp_obj(factory)->get_factory_info(factory, &factoryInfo), V3_OK);
    EXPECT_STREQ(factoryInfo.vendor, "Quillfeather");
    void* object = nullptr;
    ASSERT_EQ(queryInterface(factory, v3_plugin_factory_2_iid, &object), V3_OK);
    auto** factory2 = static_cast<v3_plugin_factory_2**>(object);
    v3_class_info_2 info{};
    ASSERT_EQ(v3_cpp_obj(factory2)->get_class_info_2(factory2, 0, &info), V3_OK);
    EXPECT_STREQ(info.name, "Hammerlyn2");
    EXPECT_STREQ(info.category, "Audio Module Class");
    EXPECT_STREQ(info.sub_categories, "Instrument|Synth");
    EXPECT_STREQ(info.vendor, "Quillfeather");
    EXPECT_STREQ(info.version, HAMMERLYN2_VERSION_TEXT);
    // The class id is fixed for good: saved songs find the plug-in through it.
    const unsigned char expectedId[16] = {'D', 'P', 'F', ' ', 'c', 'l', 'a', 's', 'Q', 'f', 'H', '2', 0, 0, 0, 0};
    unsigned char id[16];
    std::memcpy(id, info.class_id, 16);
    // DPF keeps the id as four 32-bit words in the machine's (little-endian) order.
    for (int w = 0; w < 4; ++w) std::reverse(id + 4 * w, id + 4 * w + 4);
    EXPECT_EQ(std::memcmp(id, expectedId, 16), 0);
    v3_cpp_obj_unref(factory2);

    Vst3Instance vst3(factory);
    ASSERT_TRUE(vst3.ready());
    // DPF offers the programs as the program-change parameter, a list of the eight names.
    auto vst2 = startedInstance();
    ASSERT_NE(vst2, nullptr);
    v3_param_info program{};
    for (int32_t i = 0, n = v3_cpp_obj(vst3.controller)->get_parameter_count(vst3.controller); i < n; ++i) {
        v3_param_info info{};
        if (v3_cpp_obj(vst3.controller)->get_parameter_info(vst3.controller, i, &info) == V3_OK &&
            (info.flags & V3_PARAM_PROGRAM_CHANGE))
            program = info;
    }
    ASSERT_TRUE(program.flags & V3_PARAM_PROGRAM_CHANGE);
    ASSERT_EQ(program.step_count, 7);
    for (int32_t p = 0; p < 8; ++p) {
        v3_str_128 name{};
        ASSERT_EQ(v3_cpp_obj(vst3.controller)->get_parameter_string_for_value(vst3.controller, program.param_id, p / 7.0, name),
                  V3_OK);
        vst2->setProgram(p);
        EXPECT_EQ(narrow(name), vst2->programName()) << p;
    }
    // The parameter ids, fixed for good (saved songs and their automation hold
    // them): ours 0..15 first, then the program (16), DPF's block size and rate
    // (18, 19, in builds with a panel), then per channel all notes off, mono
    // mode on and pitch bend (20 + 3 x channel ...), hidden.
    std::vector<std::pair<v3_param_id, std::string>> expected;
    for (v3_param_id id = 0; id < 16; ++id) {
        char name[kParameterTextBytes];
        formatParameterName(static_cast<int>(id), name);
        expected.emplace_back(id, name);
    }
    expected.emplace_back(16, "Current Program");
    if (vst3.separateController) {
        expected.emplace_back(18, "Buffer Size");
        expected.emplace_back(19, "Sample Rate");
    }
    for (int channel = 0; channel < 16; ++channel)
        for (int k = 0; k < 3; ++k)
            expected.emplace_back(20 + 3 * channel + k,
                                  "MIDI Ch. " + std::to_string(channel + 1) + " CC " + std::to_string(k == 0 ? 123 : k == 1 ? 126 : 129));
    std::vector<std::pair<v3_param_id, std::string>> listed;
    for (int32_t i = 0, n = v3_cpp_obj(vst3.controller)->get_parameter_count(vst3.controller); i < n; ++i) {
        v3_param_info info{};
        ASSERT_EQ(v3_cpp_obj(vst3.controller)->get_parameter_info(vst3.controller, i, &info), V3_OK) << i;
        EXPECT_EQ((info.flags & V3_PARAM_IS_HIDDEN) != 0, i >= 16) << i;
        listed.emplace_back(info.param_id, narrow(info.title));
    }
    EXPECT_EQ(listed, expected);
    v3_param_id mapped = 0;
    for (int16_t cc : {123, 126, 129}) {
        EXPECT_TRUE(vst3.controllerId(cc, &mapped)) << cc;
        EXPECT_EQ(mapped, cc == 123 ? 20u : cc == 126 ? 21u : 22u) << cc;
    }
    EXPECT_FALSE(vst3.controllerId(64, &mapped)) << "a controller the instrument ignores has no parameter";
    // Texts of the 16 parameters, as the VST 2 build shows them.
    for (int index = 0; index < 16; ++index) {
        char name[kParameterTextBytes];
        formatParameterName(index, name);
        const v3_param_id id = vst3.parameterId(name);
        ASSERT_NE(id, 0xFFFFFFFFu) << name;
        v3_str_128 text{};
        ASSERT_EQ(v3_cpp_obj(vst3.controller)->get_parameter_string_for_value(vst3.controller, id, 0.3, text), V3_OK);
        vst2->setParameter(index, 0.3f);
        EXPECT_EQ(narrow(text), vst2->parameterText(effGetParamDisplay, index) + " " +
                                    vst2->parameterText(effGetParamLabel, index));
    }
}

TEST(Vst3Format, RendersTheVst2BuildsBitsWithBendsAndControllersAtTheirFrames) {
    Vst3Instance vst3(vst3Module().factory);
    ASSERT_TRUE(vst3.ready());
    ASSERT_TRUE(vst3.start(44100.0, static_cast<int32_t>(kComparisonMaxBlock)));
    const std::vector<float> reference = renderVst2Reference(comparisonScore(), true);
    const std::vector<float> rendered = renderVst3(vst3, true);
    ASSERT_EQ(rendered.size(), reference.size());
    EXPECT_EQ(firstDifference(rendered, reference), rendered.size()) << "first differing sample (left, then right)";
}

#if defined(_WIN32)
// The panel opens as a child of the host's window, at the panel's size, and
// goes again, twice over.
TEST(Vst3Format, PanelOpensInTheHostWindowAndClosesAgain) {
    Vst3Instance vst3(vst3Module().factory);
    ASSERT_TRUE(vst3.ready());
    v3_plugin_view** view = v3_cpp_obj(vst3.controller)->create_view(vst3.controller, "editor");
    ASSERT_NE(view, nullptr) << "no panel";
    ASSERT_EQ(v3_cpp_obj(view)->is_platform_type_supported(view, "HWND"), V3_OK);
    v3_view_rect size{};
    ASSERT_EQ(v3_cpp_obj(view)->get_size(view, &size), V3_OK);
    EXPECT_EQ(size.right - size.left, 512);
    EXPECT_EQ(size.bottom - size.top, 272);
    HWND parent = CreateWindowExA(0, "STATIC", "host", WS_OVERLAPPEDWINDOW, 0, 0, 700, 400, nullptr, nullptr,
                                  GetModuleHandleA(nullptr), nullptr);
    ASSERT_NE(parent, nullptr);
    for (int round = 0; round < 2; ++round) {
        ASSERT_EQ(v3_cpp_obj(view)->attached(view, parent, "HWND"), V3_OK);
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&message);
        HWND child = GetWindow(parent, GW_CHILD);
        ASSERT_NE(child, nullptr) << "round " << round;
        RECT rect{};
        GetClientRect(child, &rect);
        EXPECT_EQ(rect.right - rect.left, 512);
        EXPECT_EQ(rect.bottom - rect.top, 272);
        ASSERT_EQ(v3_cpp_obj(view)->removed(view), V3_OK);
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&message);
        EXPECT_EQ(GetWindow(parent, GW_CHILD), nullptr) << "round " << round;
    }
    v3_cpp_obj_unref(view);
    DestroyWindow(parent);
}
#endif

#if defined(_WIN32)
// The host's content scale of 2, given before the panel opens, gives the 2x
// size and the 2x panel in the host's window.
TEST(Vst3Format, ContentScaleTwoGivesTheDoublePanelAndSize) {
    Vst3Instance vst3(vst3Module().factory);
    ASSERT_TRUE(vst3.ready());
    v3_plugin_view** view = v3_cpp_obj(vst3.controller)->create_view(vst3.controller, "editor");
    ASSERT_NE(view, nullptr) << "no panel";
    void* object = nullptr;
    ASSERT_EQ(queryInterface(view, v3_plugin_view_content_scale_iid, &object), V3_OK);
    auto** scale = static_cast<v3_plugin_view_content_scale**>(object);
    v3_cpp_obj(scale)->set_content_scale_factor(scale, 2.0f);
    v3_view_rect size{};
    ASSERT_EQ(v3_cpp_obj(view)->get_size(view, &size), V3_OK);
    EXPECT_EQ(size.right - size.left, 1024);
    EXPECT_EQ(size.bottom - size.top, 544);
    HWND parent = CreateWindowExA(0, "STATIC", "host", WS_OVERLAPPEDWINDOW, 0, 0, 1100, 640, nullptr, nullptr,
                                  GetModuleHandleA(nullptr), nullptr);
    ASSERT_NE(parent, nullptr);
    ASSERT_EQ(v3_cpp_obj(view)->attached(view, parent, "HWND"), V3_OK);
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&message);
    HWND child = GetWindow(parent, GW_CHILD);
    ASSERT_NE(child, nullptr);
    RECT rect{};
    GetClientRect(child, &rect);
    EXPECT_EQ(rect.right - rect.left, 1024);
    EXPECT_EQ(rect.bottom - rect.top, 544);
    size = {};
    ASSERT_EQ(v3_cpp_obj(view)->get_size(view, &size), V3_OK);
    EXPECT_EQ(size.right - size.left, 1024);
    EXPECT_EQ(size.bottom - size.top, 544);
    ASSERT_EQ(v3_cpp_obj(view)->removed(view), V3_OK);
    v3_cpp_obj_unref(scale);
    v3_cpp_obj_unref(view);
    DestroyWindow(parent);
}
#endif

// What a careless or hostile host hands over sounds as what it stands for (or
// as nothing), without a fault the sanitizers would stop at.
TEST(Vst3Format, HostileEventsAndChangesSoundAsWhatTheyStandFor) {
    Vst3Instance vst3(vst3Module().factory);
    ASSERT_TRUE(vst3.ready());
    std::vector<Change> ours;
    for (v3_param_id id : ourParameterIds(vst3)) ours.push_back({id, 0, 0.77});
    std::vector<Change> afterUnknown = {{0x7FFFFFF0u, 0, 0.5}};
    afterUnknown.insert(afterUnknown.end(), ours.begin(), ours.end());
    struct Case {
        const char* what;
        std::vector<v3_event> given, equivalent;
        std::vector<Change> givenChanges, equivalentChanges;
    };
    const Case cases[] = {
        {"a velocity that is no number", {on(60, 0, std::nanf(""))}, {}, {}, {}},
        {"pitches outside 0..127", {on(188), on(316), on(-1), off(316, 100)}, {}, {}, {}},
        {"notes out of time order", {on(60, 10), off(60, 20), on(64, 50), on(67, 40)},
         {on(60, 10), off(60, 20), on(67, 40), on(64, 50)}, {}, {}},
        {"a note off out of time order", {on(60, 10), on(60, 20), on(64, 50), off(60, 30)},
         {on(60, 10), on(60, 20), off(60, 30), on(64, 50)}, {}, {}},
        {"changes after an id not ours", {on(60)}, {on(60)}, afterUnknown, ours},
    };
    const std::vector<float> nothing = renderFresh({});
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::vector<float> given = renderFresh(c.given, c.givenChanges);
        const std::vector<float> equivalent = renderFresh(c.equivalent, c.equivalentChanges);
        ASSERT_EQ(given.size(), 2048u);
        EXPECT_EQ(firstDifference(given, equivalent), given.size());
        if (!c.equivalent.empty()) {
            EXPECT_NE(equivalent, nothing) << "the equivalent must sound";
        }
    }
}

// Impossible setups and blocks longer than announced are refused without
// harm, every parameter (DPF's hidden ones among them) turns junk text into
// nothing or a value 0..1, and a state stream whose reads report more than
// they delivered is refused.
TEST(Vst3Format, HostileCallsAreRefused) {
    Vst3Instance vst3(vst3Module().factory);
    ASSERT_TRUE(vst3.ready());
    for (int32_t maxFrames : {-1, 0}) {
        v3_process_setup setup{V3_REALTIME, V3_SAMPLE_32, maxFrames, 44100.0};
        EXPECT_NE(v3_cpp_obj(vst3.processor)->setup_processing(vst3.processor, &setup), V3_OK) << maxFrames;
    }
    ASSERT_TRUE(vst3.start(44100.0, 256));
    Vst3EventList events;
    Vst3ParameterChanges changes;
    std::vector<float> left(257, 5.0f), right(257, 5.0f);
    EXPECT_FALSE(vst3.process(events, changes, left.data(), right.data(), 257));
    EXPECT_TRUE(vst3.process(events, changes, left.data(), right.data(), 256));

    for (int32_t i = 0, n = v3_cpp_obj(vst3.controller)->get_parameter_count(vst3.controller); i < n; ++i) {
        v3_param_info info{};
        ASSERT_EQ(v3_cpp_obj(vst3.controller)->get_parameter_info(vst3.controller, i, &info), V3_OK);
        for (const char* junk : {"nan", "inf", "-5", "1e9", "99999999", "junk", ""}) {
            v3_str_128 text{};
            for (int k = 0; junk[k]; ++k) text[k] = junk[k];
            double value = 0.5;
            if (v3_cpp_obj(vst3.controller)->get_parameter_value_for_string(vst3.controller, info.param_id, text, &value) == V3_OK) {
                EXPECT_TRUE(value >= 0.0 && value <= 1.0) << narrow(info.title) << " \"" << junk << "\": " << value;
            }
        }
    }

    const std::vector<std::uint8_t> saved = getState(vst3);
    ASSERT_FALSE(saved.empty());
    EXPECT_NE(setState(vst3, saved, 600), V3_OK);
    EXPECT_EQ(getState(vst3), saved);
}

// A program chosen in the host's program list (the program parameter, id 16)
// arrives as a change in process: it sounds from that block on as the VST 2
// build plays the program, and the song saved afterwards reopens on it. One
// chosen while another thread saves (the program lock taken at times) lands
// by the next block.
TEST(Vst3Format, ProgramChosenInTheHostsListIsPlayedAndSaved) {
    Vst3EventList note;
    note.events = {on(57, 5, 99 / 127.0f)};
    Vst3ParameterChanges none;
    std::vector<float> left(512), right(512);
    for (int k : {3, 6}) {
        SCOPED_TRACE(k);
        auto vst2 = startedInstance(44100.0f, 512);
        vst2->setProgram(k);
        vst2->sendMidi({{5, 0x90, 57, 99}});
        vst2->process(512);
        Vst3Instance vst3(vst3Module().factory), reopened(vst3Module().factory);
        ASSERT_TRUE(vst3.ready() && vst3.start(44100.0, 512) && reopened.ready() && reopened.start(44100.0, 512));
        // As hosts do: the controller is told too (in builds without a panel it is the processor).
        v3_cpp_obj(vst3.controller)->set_parameter_normalised(vst3.controller, 16, k / 7.0);
        Vst3ParameterChanges program;
        program.change(16, 0, k / 7.0);
        ASSERT_TRUE(vst3.process(note, program, left.data(), right.data(), 512));
        EXPECT_EQ(firstDifference(left, vst2->left()), 512u);
        EXPECT_EQ(firstDifference(right, vst2->right()), 512u);
        const StateBytes saved = getState(vst3);
        EXPECT_EQ(withProgram(saved, k), saved);
        ASSERT_EQ(setState(reopened, saved), V3_OK);
        ASSERT_TRUE(reopened.process(note, none, left.data(), right.data(), 512));
        EXPECT_EQ(firstDifference(left, vst2->left()), 512u) << "the reopened song";
    }
    Vst3Instance vst3(vst3Module().factory);
    ASSERT_TRUE(vst3.ready() && vst3.start(44100.0, 512));
    if (!vst3.separateController) return;
    std::atomic<bool> saving{true};
    std::thread saver([&] {
        while (saving.load(std::memory_order_relaxed)) getState(vst3);
    });
    for (int block = 0; block < 400; ++block) {
        Vst3ParameterChanges program;
        program.change(16, 0, (block % 8) / 7.0);
        ASSERT_TRUE(vst3.process(note, program, left.data(), right.data(), 512));
    }
    saving = false;
    saver.join();
    ASSERT_TRUE(vst3.process(note, none, left.data(), right.data(), 512));
    const StateBytes saved = getState(vst3);
    EXPECT_EQ(withProgram(saved, 7), saved);
}

// Changes a host sends in a call without frames (as while its transport is
// stopped) sound and are saved as the same changes in a block: after the
// program, each queue's last value; an id not ours or no number changes nothing.
TEST(Vst3Format, ChangesInACallWithoutFramesSoundAndAreSaved) {
    // After a held note, a note, all notes off (controller 123) and value
    // changes in a call of no frames act as at the next block's start.
    Vst3EventList none, held, note;
    held.events = {on(50)};
    note.events = {on(57, 0, 99 / 127.0f)};
    std::vector<float> sound[2];
    StateBytes saved[2];
    for (int flush : {0, 1}) {
        Vst3Instance vst3(vst3Module().factory);
        ASSERT_TRUE(vst3.ready() && vst3.start(44100.0, 512));
        const std::vector<v3_param_id> ids = ourParameterIds(vst3);
        v3_param_id cc123 = 0;
        ASSERT_TRUE(vst3.controllerId(123, &cc123));
        v3_cpp_obj(vst3.controller)->set_parameter_normalised(vst3.controller, 16, 3 / 7.0);
        Vst3ParameterChanges changes, unchanged;
        changes.change(16, 0, 3 / 7.0);
        changes.change(0x7FFFFFF0u, 0, 0.5);
        changes.change(ids[7], 0, std::nan(""));
        if (flush) changes.change(ids[4], 0, 0.9);
        changes.change(ids[4], 0, 0.125);
        changes.change(ids[11], 0, 0.75);
        changes.change(cc123, 0, 0.0);
        sound[flush].resize(2048);
        float* const out = sound[flush].data();
        ASSERT_TRUE(vst3.process(held, unchanged, out, out + 1024, 512));
        ASSERT_TRUE(!flush || vst3.process(note, changes, out, out + 1024, 0));
        ASSERT_TRUE(vst3.process(flush ? none : note, flush ? unchanged : changes, out + 512, out + 1536, 512));
        saved[flush] = getState(vst3);
    }
    EXPECT_EQ(firstDifference(sound[1], sound[0]), sound[0].size());
    EXPECT_EQ(saved[1], saved[0]);
}
