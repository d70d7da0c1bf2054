// What the VST3 and the CLAP builds must both do, once for each through our
// own hosts: the state round trip exact under a decimal-comma locale, states
// taken whole or not at all, automation from its frame, and
// the audio thread playing on beside the main thread (run under
// ThreadSanitizer as well). What only one format has stays in its own suite.
#include <gtest/gtest.h>

#include <atomic>
#include <clocale>
#include <cstdio>
#include <cstring>
#include <cmath>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "tests/formats/ClapHost.h"
#include "tests/formats/SavedStates.h"
#include "tests/formats/Score.h"
#include "tests/formats/Vst3Host.h"
#include "tests/support/BuiltPlugin.h"

namespace {

// A note on or off at a frame, or a parameter (by index, which is its id in
// both formats) set to a value at a frame.
struct Event {
    enum Kind { On, Off, Change } kind;
    int keyOrIndex;
    std::uint32_t frame;
    double value;
};
Event note(int key, std::uint32_t frame = 0, double velocity = 0.8) { return {Event::On, key, frame, velocity}; }
Event noteOff(int key, std::uint32_t frame) { return {Event::Off, key, frame, 0.0}; }
Event change(int index, double value, std::uint32_t frame = 0) { return {Event::Change, index, frame, value}; }

// One started instance of either build, at 44.1 kHz in blocks of up to 512.
class Instance {
public:
    virtual ~Instance() = default;
    virtual bool process(const std::vector<Event>& events, float* left, float* right, std::uint32_t frames) = 0;
    virtual StateBytes save() = 0;
    // In reads of readLength bytes each, where not 0.
    virtual bool load(const StateBytes& state, std::size_t readLength = 0) = 0;
    // A parameter's value as the host reads it back.
    virtual double value(int index) = 0;
    // The text of a parameter's value is shown (and, where the format reads texts, read back).
    virtual bool showsValue(int index) = 0;
    // The program the host sees in its program list (normalised); -1 where the format has none.
    virtual double programShown() { return -1.0; }
};

class Vst3 : public Instance {
public:
    static v3_plugin_factory** factory() {
        static Vst3Module module(HAMMERLYN2_VST3_PATH);
        return module.factory;
    }
    Vst3() : vst3(factory()) { ready = vst3.ready() && vst3.start(44100.0, 512); }
    bool process(const std::vector<Event>& events, float* left, float* right, std::uint32_t frames) override {
        Vst3EventList notes;
        Vst3ParameterChanges changes;
        for (const Event& e : events) {
            if (e.kind == Event::Change) {
                changes.change(static_cast<v3_param_id>(e.keyOrIndex), static_cast<int32_t>(e.frame), e.value);
                continue;
            }
            v3_event event{};
            event.sample_offset = static_cast<int32_t>(e.frame);
            event.type = e.kind == Event::On ? V3_EVENT_NOTE_ON : V3_EVENT_NOTE_OFF;
            const auto key = static_cast<int16_t>(e.keyOrIndex);
            if (e.kind == Event::On)
                event.note_on = {0, key, 0.0f, static_cast<float>(e.value), 0, -1};
            else
                event.note_off = {0, key, 0.8f, -1, 0.0f};
            notes.events.push_back(event);
        }
        return ready && vst3.process(notes, changes, left, right, static_cast<int32_t>(frames));
    }
    StateBytes save() override {
        Vst3Stream out;
        return v3_cpp_obj(vst3.component)->get_state(vst3.component, out.object()) == V3_OK ? out.bytes : StateBytes{};
    }
    // Through the component, and the controller where it is a class of its own.
    bool load(const StateBytes& state, std::size_t readLength) override {
        Vst3Stream in, again;
        in.bytes = again.bytes = state;
        in.readLength = readLength;
        if (v3_cpp_obj(vst3.component)->set_state(vst3.component, in.object()) != V3_OK) return false;
        if (vst3.separateController) v3_cpp_obj(vst3.controller)->set_component_state(vst3.controller, again.object());
        return true;
    }
    double value(int index) override { return v3_cpp_obj(vst3.controller)->get_parameter_normalised(vst3.controller, index); }
    bool showsValue(int index) override {
        v3_str_128 text{};
        const double value = v3_cpp_obj(vst3.controller)->get_parameter_normalised(vst3.controller, index);
        return v3_cpp_obj(vst3.controller)->get_parameter_string_for_value(vst3.controller, index, value, text) == V3_OK;
    }
    double programShown() override {
        return v3_cpp_obj(vst3.controller)->get_parameter_normalised(vst3.controller, 16);  // the program's id
    }

private:
    Vst3Instance vst3;
    bool ready = false;
};

class Clap : public Instance {
public:
    static ClapModule& module() {
        static ClapModule module(HAMMERLYN2_CLAP_PATH);
        return module;
    }
    static std::unique_ptr<ClapInstance> make() {
        auto clap = ClapInstance::create(module(), "com.quillfeather.hammerlyn2");
        return clap && clap->activate(44100.0, kComparisonMaxBlock) ? std::move(clap) : nullptr;
    }
    bool process(const std::vector<Event>& events, float* left, float* right, std::uint32_t frames) override {
        std::vector<ClapEvent> list;
        for (const Event& e : events) {
            ClapEvent event{};
            event.kind = e.kind == Event::On    ? ClapEvent::NoteOn
                         : e.kind == Event::Off ? ClapEvent::NoteOff
                                                : ClapEvent::Parameter;
            event.key = e.keyOrIndex;
            event.parameter = static_cast<clap_id>(e.keyOrIndex);
            event.frame = e.frame;
            (e.kind == Event::Change ? event.value : event.velocity) = e.kind == Event::Off ? 0.8 : e.value;
            list.push_back(event);
        }
        return clap && clap->process(list, left, right, frames);
    }
    StateBytes save() override { return clap->saveState(); }
    bool load(const StateBytes& state, std::size_t readLength) override {
        return readLength ? clap->loadState(state, readLength) : clap->loadState(state);
    }
    double value(int index) override { return clap->parameterValue(index); }
    bool showsValue(int index) override {
        double value = 0.0;
        return clap->textValue(index, clap->valueText(index, clap->parameterValue(index)).c_str(), &value);
    }

private:
    std::unique_ptr<ClapInstance> clap = make();
};

// Switches the process to a decimal-comma locale for one scope.
class DecimalCommaLocale {
public:
    DecimalCommaLocale() {
        const char* current = std::setlocale(LC_ALL, nullptr);
        saved = current ? current : "C";
        for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "German_Germany.1252", "de-DE"})
            if (std::setlocale(LC_ALL, name)) {
                active = true;
                break;
            }
    }
    ~DecimalCommaLocale() { std::setlocale(LC_ALL, saved.c_str()); }
    bool commaIsDecimalPoint() const {
        char text[16];
        std::snprintf(text, sizeof(text), "%.1f", 0.5);
        return active && std::strcmp(text, "0,5") == 0;
    }

private:
    std::string saved;
    bool active = false;
};

class DpfFormat : public ::testing::TestWithParam<std::string> {
protected:
    std::unique_ptr<Instance> instance() const {
        if (GetParam() == "Vst3") return std::make_unique<Vst3>();
        return std::make_unique<Clap>();
    }
};

// Under a decimal-comma locale every value comes back exactly, whatever the
// lengths of the host's reads, is saved again as the same state, and sounds as
// the original and as the VST 2 build with the same values; a damaged state
// changes nothing and breaks nothing.
TEST_P(DpfFormat, StateRoundTripIsExactUnderADecimalCommaLocale) {
    DecimalCommaLocale locale;
#if !defined(_WIN32)
    ASSERT_TRUE(locale.commaIsDecimalPoint()) << "de_DE.UTF-8 is missing: cmake/install-deps.sh generates it";
#endif
    // None equal to program 0's value: DPF passes on only changes, while the
    // VST 2 build re-applies a body band set to its own value (a last-bit difference).
    const float values[16] = {0.8f, 1.0f / 3.0f, 0.0f, 1.0f, 0.123456789f, 2.0f / 3.0f, 1e-7f, 0.55f,
                              0.999999f, 0.25f, 0.1f, 0.7f, 0.3f, 0.45f, 0.05f, 0.6f};
    std::vector<Event> changes;
    for (int i = 0; i < 16; ++i) changes.push_back(change(i, values[i]));
    auto original = instance(), restored = instance();
    std::vector<float> a(512), b(512), c(512), d(512);
    ASSERT_TRUE(original->process(changes, a.data(), b.data(), 64));
    const StateBytes saved = original->save();
    ASSERT_GT(saved.size(), 1000u);
    for (std::size_t length = 1; length <= 64; ++length) {
        auto other = instance();
        ASSERT_TRUE(other->load(saved, length));
        for (int i = 0; i < 16; ++i) ASSERT_EQ(static_cast<float>(other->value(i)), values[i]) << i << " in reads of " << length;
    }
    ASSERT_TRUE(restored->load(saved));
    for (int i = 0; i < 16; ++i) EXPECT_EQ(static_cast<float>(restored->value(i)), values[i]) << i;
    EXPECT_EQ(restored->save(), saved);
    // Both sound alike from here on (after the same number of frames), and as the VST 2 build.
    ASSERT_TRUE(restored->process({}, c.data(), d.data(), 64));
    ASSERT_TRUE(original->process({note(57, 5, 99 / 127.0)}, a.data(), b.data(), 512));
    ASSERT_TRUE(restored->process({note(57, 5, 99 / 127.0)}, c.data(), d.data(), 512));
    EXPECT_EQ(a, c);
    EXPECT_EQ(b, d);
    auto vst2 = startedInstance(44100.0f, 512);
    for (int i = 0; i < 16; ++i) vst2->setParameter(i, values[i]);
    vst2->process(64);
    vst2->sendMidi({{5, 0x90, 57, 99}});
    vst2->process(512);
    EXPECT_EQ(vst2->left(), a);
    StateBytes damaged(saved.begin(), saved.begin() + static_cast<std::ptrdiff_t>(saved.size() / 2));
    EXPECT_FALSE(restored->load(damaged));
    ASSERT_TRUE(restored->process({note(57)}, c.data(), d.data(), 512));
    for (float sample : c) ASSERT_TRUE(std::isfinite(sample));
}

// A song saved on program 3 reopens on it, with its edits; every damaged or
// foreign state is refused and leaves the instance exactly as it was.
TEST_P(DpfFormat, StateIsTakenWholeOrNotAtAll) {
    const StateBytes onProgram3 = withProgram(instance()->save(), 3);
    auto plugin = instance();
    ASSERT_TRUE(plugin->load(onProgram3));
    EXPECT_EQ(plugin->programShown(), GetParam() == "Vst3" ? 3.0 / 7.0 : -1.0);
    std::vector<float> left(64), right(64);
    ASSERT_TRUE(plugin->process({change(4, 0.125), change(11, 0.75)}, left.data(), right.data(), 64));
    const StateBytes before = plugin->save();
    ASSERT_EQ(withProgram(before, 3), before) << "program 3 is not kept";
    auto reopened = instance();
    ASSERT_TRUE(reopened->load(before));
    EXPECT_EQ(reopened->save(), before);
    for (const auto& [what, state] : refusedStates(onProgram3)) {
        SCOPED_TRACE(what);
        EXPECT_FALSE(plugin->load(state));
        EXPECT_EQ(plugin->save(), before);
    }
}

// A change at frame 300 of a 512-frame block sounds from frame 300, as in
// blocks of 300 and 212 frames with the change at the second's start.
TEST_P(DpfFormat, AutomationSoundsFromItsFrame) {
    std::vector<float> whole(512), split(512), unchanged(512), right(512);
    auto a = instance(), b = instance(), c = instance();
    ASSERT_TRUE(a->process({note(60), change(15, 0.2, 300)}, whole.data(), right.data(), 512));
    ASSERT_TRUE(b->process({note(60)}, split.data(), right.data(), 300));
    ASSERT_TRUE(b->process({change(15, 0.2)}, split.data() + 300, right.data(), 212));
    ASSERT_TRUE(c->process({note(60)}, unchanged.data(), right.data(), 512));
    EXPECT_EQ(firstDifference(whole, split), whole.size());
    EXPECT_EQ(firstDifference(whole, unchanged), 300u);
}

// The audio thread plays on and takes changes while the main thread loads and
// saves states and asks for values and texts, as hosts do (and, in CLAP, which
// declares it safe, other threads create instances at the same time).
TEST_P(DpfFormat, ProcessingGoesOnWhileTheMainThreadLoadsSavesAndAsksForTexts) {
    auto plugin = instance();
    const StateBytes onProgram0 = plugin->save();
    const StateBytes onProgram3 = withProgram(onProgram0, 3);
    std::atomic<bool> playing{true}, finite{true};
    std::thread audio([&] {
        std::vector<float> left(256), right(256);
        for (int block = 0; playing.load(std::memory_order_relaxed) || block < 200; ++block) {
            const std::vector<Event> events = {note(48 + block % 24), noteOff(48 + (block + 12) % 24, 100),
                                               change(block % 16, (block % 7) / 7.0)};
            if (!plugin->process(events, left.data(), right.data(), 256)) finite = false;
            for (float sample : left)
                if (!std::isfinite(sample)) finite = false;
        }
    });
    std::vector<std::thread> creators;
    std::atomic<int> created{0};
    for (int t = 0; t < 3 && GetParam() == "Clap"; ++t)
        creators.emplace_back([&] {
            for (int i = 0; i < 10; ++i) created += Clap::make() != nullptr;
        });
    for (int round = 0; round < 100; ++round) {
        EXPECT_TRUE(plugin->load(round % 2 ? onProgram3 : onProgram0));
        EXPECT_FALSE(plugin->save().empty());
        for (int index = 0; index < 16; ++index) EXPECT_TRUE(plugin->showsValue(index)) << index;
    }
    for (std::thread& creator : creators) creator.join();
    playing = false;
    audio.join();
    EXPECT_TRUE(finite);
    EXPECT_EQ(created, static_cast<int>(creators.size()) * 10);
}

INSTANTIATE_TEST_SUITE_P(Formats, DpfFormat, ::testing::Values("Vst3", "Clap"),
                         [](const auto& info) { return info.param; });

}  // namespace
