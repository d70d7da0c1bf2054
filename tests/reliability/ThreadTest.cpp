// One instance served by three host threads at once, as real hosts do: the
// audio thread renders 32-frame blocks with MIDI, an automation thread moves
// all sixteen knobs at random and switches programs, and the user-interface
// thread restores saved state and turns knobs with the mouse in the open
// editor. Built natively and run under ThreadSanitizer, which must report
// nothing; the audio must stay finite throughout.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <random>
#include <thread>
#include <vector>

#include "editor/widgets/QFGui.h"
#include "editor/win32/Win32Api.h"
#include "tests/reliability/PanelPlug.h"

namespace {

std::atomic<int> automations{0};
std::atomic<int> displayRefreshes{0};

VstIntPtr VSTCALLBACK host(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
    if (opcode == audioMasterVersion) return 2400;
    if (opcode == audioMasterAutomate) automations.fetch_add(1, std::memory_order_relaxed);
    if (opcode == audioMasterUpdateDisplay) displayRefreshes.fetch_add(1, std::memory_order_relaxed);
    return 0;
}

VstIntPtr dispatch(AEffect* e, VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0, void* ptr = nullptr,
                   float opt = 0.0f) {
    return e->dispatcher(e, opcode, index, value, ptr, opt);
}

LRESULT CALLBACK frameProc(HWND w, UINT m, WPARAM wp, LPARAM lp) { return DefWindowProcA(w, m, wp, lp); }

// The host's window that the editor opens into.
HWND createHostFrame() {
    static const char* const kClass = "Hammerlyn2ThreadTestFrame";
    WNDCLASSA existing;
    if (!GetClassInfoA(nullptr, kClass, &existing)) {
        WNDCLASSA wc{};
        wc.lpfnWndProc = frameProc;
        wc.lpszClassName = kClass;
        RegisterClassA(&wc);
    }
    return CreateWindowExA(0, kClass, "host", WS_POPUP | WS_VISIBLE, 0, 0, 512, 272, nullptr, nullptr, nullptr, nullptr);
}

LPARAM at(int x, int y) { return static_cast<LPARAM>((x & 0xFFFF) | ((y & 0xFFFF) << 16)); }

std::vector<unsigned char> chunkOf(AEffect* e, bool preset) {
    void* data = nullptr;
    const auto size = dispatch(e, effGetChunk, preset ? 1 : 0, 0, &data);
    if (size <= 0 || !data) return {};
    const auto* bytes = static_cast<const unsigned char*>(data);
    return std::vector<unsigned char>(bytes, bytes + size);
}

}  // namespace

TEST(Threads, AudioAutomationStateAndEditorAtOnce) {
    constexpr int kFrames = 32;
    const int blocks = 4000;  // at least 500 even in the slowest build
    auto* plug = newPlugWithPanel(&host);  // released by effClose
    AEffect* e = plug->getAeffect();
    dispatch(e, effOpen);
    dispatch(e, effSetSampleRate, 0, 0, nullptr, 44100.0f);
    dispatch(e, effSetBlockSize, 0, kFrames);
    dispatch(e, effMainsChanged, 0, 1);

    std::atomic<bool> done{false};
    std::atomic<int> rendered{0}, badSamples{0}, knobMoves{0}, restores{0}, switches{0};

    std::thread audio([&] {
        std::mt19937 random(1);
        std::vector<float> left(kFrames), right(kFrames);
        float* outputs[2] = {left.data(), right.data()};
        VstMidiEvent midi[4]{};
        VstEvent* pointers[4];
        std::vector<unsigned char> storage(sizeof(VstEvents) + 4 * sizeof(VstEvent*));
        auto* events = reinterpret_cast<VstEvents*>(storage.data());
        // At least `blocks` blocks, and on until the other threads have had
        // their share of turns too.
        for (int b = 0; b < blocks || ((switches.load() < 100 || knobMoves.load() < 400) && b < 50 * blocks); ++b) {
            if (b % 4 == 0) {
                const int count = 1 + static_cast<int>(random() % 4);
                for (int i = 0; i < count; ++i) {
                    midi[i] = VstMidiEvent{};
                    midi[i].type = kVstMidiType;
                    midi[i].byteSize = sizeof(VstMidiEvent);
                    midi[i].deltaFrames = static_cast<VstInt32>(random() % kFrames);
                    midi[i].midiData[0] = static_cast<char>(random() % 3 ? 0x90 : 0x80);
                    midi[i].midiData[1] = static_cast<char>(30 + random() % 70);
                    midi[i].midiData[2] = static_cast<char>(1 + random() % 127);
                    pointers[i] = reinterpret_cast<VstEvent*>(&midi[i]);
                }
                events->numEvents = count;
                std::memcpy(events->events, pointers, sizeof(VstEvent*) * static_cast<std::size_t>(count));
                dispatch(e, effProcessEvents, 0, 0, events);
            }
            e->processReplacing(e, nullptr, outputs, kFrames);
            for (int i = 0; i < kFrames; ++i)
                if (!std::isfinite(left[i]) || !std::isfinite(right[i])) badSamples.fetch_add(1);
            rendered.fetch_add(1);
        }
        done.store(true);
    });

    std::thread automation([&] {
        std::mt19937 random(2);
        char text[kVstMaxProgNameLen + 1];
        for (int n = 0; !done.load(); ++n) {
            const auto index = static_cast<VstInt32>(random() % 16);
            e->setParameter(e, index, static_cast<float>(random() % 1001) / 1000.0f);
            const float back = e->getParameter(e, index);
            if (!(back >= 0.0f && back <= 1.0f)) badSamples.fetch_add(1);
            dispatch(e, effGetParamDisplay, index, 0, text);
            if (n % 64 == 0) {
                dispatch(e, effSetProgram, 0, static_cast<VstIntPtr>(random() % 8));
                dispatch(e, effGetProgramName, 0, 0, text);
                switches.fetch_add(1);
            }
            if (n % 8 == 0) std::this_thread::yield();
        }
    });

    std::thread userInterface([&] {
        std::mt19937 random(3);
        HWND frame = createHostFrame();
        ASSERT_NE(frame, nullptr);
        ASSERT_EQ(dispatch(e, effEditOpen, 0, 0, frame), 1);
        auto* gui = static_cast<QFGui*>(plug->getEditor());
        HWND window = static_cast<HWND>(gui->window());
        ASSERT_NE(window, nullptr);
        const auto& knobs = gui->widgetList();
        ASSERT_EQ(knobs.size(), 16u);
        for (int n = 0; !done.load(); ++n) {
            // Turn a knob: press, drag some pixels, release; now and then a wheel notch.
            const WidgetBase* knob = knobs[random() % knobs.size()].get();
            const int x = knob->x + knob->width / 2, y = knob->y + knob->height / 2;
            SendMessageA(window, WM_LBUTTONDOWN, 0, at(x, y));
            const int travel = static_cast<int>(random() % 80) - 40;
            for (int step = 1; step <= 4; ++step) SendMessageA(window, WM_MOUSEMOVE, 0, at(x, y + travel * step / 4));
            SendMessageA(window, WM_LBUTTONUP, 0, at(x, y + travel));
            knobMoves.fetch_add(1);
            if (n % 5 == 0) {
                // Restore a saved state: the whole bank or the current program,
                // sometimes a malformed one the plug-in must refuse.
                const bool preset = random() % 2 == 0;
                std::vector<unsigned char> block = chunkOf(e, preset);
                for (std::size_t v = 0; v + 4 <= block.size(); v += 4) {
                    if (!preset && v % 88 < 24) continue;
                    const float value = static_cast<float>(random() % 1001) / 1000.0f;
                    std::memcpy(&block[v], &value, 4);
                }
                if (random() % 4 == 0) block.resize(block.size() - 1);
                dispatch(e, effSetChunk, preset ? 1 : 0, static_cast<VstIntPtr>(block.size()), block.data());
                restores.fetch_add(1);
            }
            dispatch(e, effEditIdle);
            SendMessageA(window, WM_TIMER, 1, 0);
        }
        dispatch(e, effEditClose);
        DestroyWindow(frame);
    });

    audio.join();
    automation.join();
    userInterface.join();

    EXPECT_GE(rendered.load(), blocks);
    EXPECT_EQ(badSamples.load(), 0) << "audio or parameter values not finite";
    EXPECT_GT(knobMoves.load(), 0);
    EXPECT_GT(restores.load(), 0);
    EXPECT_GT(automations.load(), 0) << "knob turns did not reach the host";
    for (VstInt32 i = 0; i < 16; ++i) {
        const float v = e->getParameter(e, i);
        EXPECT_TRUE(v >= 0.0f && v <= 1.0f) << i;
    }
    std::printf("%d blocks of %d frames; %d knob turns, %d state restores, %d program switches; %d automation "
                "reports\n",
                rendered.load(), kFrames, knobMoves.load(), restores.load(), switches.load(), automations.load());
    EXPECT_EQ(dispatch(e, effClose), 1);
}
