// Every request number from 0 to 255 with random index, value, opt and pointer
// arguments, in random order and mixed with audio blocks, MIDI and parameter
// calls, as a validator sends them. Every buffer handed to the plug-in lies
// between guard bytes, and each request may write only what its kind allows:
// a text request up to its bound, a pointer request one pointer, everything
// else nothing at all. The answers the request table fixes must never change.
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <string>

#include "Hammerlyn2Version.h"
#include "tests/reliability/ReliabilitySupport.h"

using namespace reliability;

namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

// What a request does with its pointer argument.
enum class Pointer {
    Untouched,     // must not write through the pointer at all
    TextOut,       // writes a NUL-terminated text of at most `bound` bytes
    PointerOut,    // writes one pointer
    TextIn,        // reads a NUL-terminated text
    Arrangement,   // value and ptr each point to a pointer the plug-in clears
    ArrangementIn, // value and ptr point to arrangements it may read
    Chunk,         // reads `value` bytes
    Events,        // reads an event list
    ParentWindow,  // a window handle, not a buffer
};

struct Rule {
    Pointer pointer = Pointer::Untouched;
    std::size_t bound = 0;  // bytes a text request may write, terminator included
};

Rule ruleFor(VstInt32 opcode) {
    switch (opcode) {
    case effGetProgramName:
    case effGetProgramNameIndexed:
        return {Pointer::TextOut, kVstMaxProgNameLen + 1};
    case effGetParamLabel:
    case effGetParamDisplay:
    case effGetParamName:
        return {Pointer::TextOut, kVstMaxParamStrLen + 1};
    case effGetEffectName:
        return {Pointer::TextOut, kVstMaxEffectNameLen + 1};
    case effGetVendorString:
        return {Pointer::TextOut, kVstMaxVendorStrLen + 1};
    case effGetProductString:
        return {Pointer::TextOut, kVstMaxProductStrLen + 1};
    case effEditGetRect:
    case effGetChunk:
        return {Pointer::PointerOut, sizeof(void*)};
    case effSetProgramName:
    case effString2Parameter:
    case effCanDo:
        return {Pointer::TextIn};
    case effGetSpeakerArrangement:
        return {Pointer::Arrangement, sizeof(void*)};
    case effSetSpeakerArrangement:
        return {Pointer::ArrangementIn};
    case effSetChunk:
        return {Pointer::Chunk};
    case effProcessEvents:
        return {Pointer::Events};
    case effEditOpen:
        return {Pointer::ParentWindow};
    default:
        return {};
    }
}

// Answers the request table fixes whatever the arguments (null pointers give 0
// for every request that needs one).
struct Expected {
    bool fixed = false;
    VstIntPtr answer = 0;
};

Expected fixedAnswer(VstInt32 opcode, VstInt32 index, VstIntPtr value, bool hasPointer) {
    switch (opcode) {
    case effIdentify: return {true, 0x4E764566};
    case effGetVendorVersion: return {true, HAMMERLYN2_VERSION_VST2};
    case effGetVstVersion: return {true, 2400};
    case effGetPlugCategory: return {true, 2};
    case effCanBeAutomated: return {true, 1};
    case effGetCurrentMidiProgram: return {true, -1};
    case effSetTotalSampleToProcess: return {true, static_cast<VstInt32>(value)};
    case effEditOpen: return {true, 0};  // given no parent window, no editor opens
    case effGetEffectName:
    case effGetVendorString:
    case effGetProductString:
        return {true, hasPointer ? 1 : 0};
    case effEditGetRect: return {true, hasPointer && kBuiltPluginHasEditor ? 1 : 0};
    case effProcessEvents: return {true, hasPointer ? 1 : 0};
    case effGetProgramNameIndexed: return {true, hasPointer && index >= 0 && index < 8 ? 1 : 0};
    case effGetChunk:
        return {true, hasPointer ? (index != 0 ? 64 : 704) : 0};
    case effGetProgram:
    case effCanDo:
    case effSetChunk:
    case effClose:
        return {};  // checked where the call is made
    default:
        return {true, 0};  // everything else, the unknown and deprecated requests among them
    }
}

VstInt32 pickIndex(std::mt19937& random) {
    switch (random() % 9) {
    case 0: return 0;
    case 1: return static_cast<VstInt32>(random() % 16);
    case 2: return static_cast<VstInt32>(random() % 8);
    case 3: return 16;
    case 4: return -1;
    case 5: return std::numeric_limits<VstInt32>::min();
    case 6: return std::numeric_limits<VstInt32>::max();
    case 7: return 8;
    default: return static_cast<VstInt32>(random());
    }
}

VstIntPtr pickValue(std::mt19937& random) {
    switch (random() % 9) {
    case 0: return 0;
    case 1: return 1;
    case 2: return -1;
    case 3: return static_cast<VstIntPtr>(random() % 10);
    case 4: return 64;
    case 5: return 704;
    case 6: return std::numeric_limits<VstIntPtr>::max();
    case 7: return std::numeric_limits<VstIntPtr>::min();
    default: return static_cast<VstIntPtr>(static_cast<std::int32_t>(random()));
    }
}

float pickOpt(std::mt19937& random) {
    switch (random() % 9) {
    case 0: return 0.0f;
    case 1: return 1.0f;
    case 2: return -1.0f;
    case 3: return kNaN;
    case 4: return kInf;
    case 5: return -kInf;
    case 6: return 1e-30f;
    case 7: return 44100.0f;
    default: return static_cast<float>(random() % 200000) / 7.0f;
    }
}

// Host rates, the ones a host must not send and that are ignored, and absurd
// positive ones (the very low ones are left to the audio tests: every engine
// sample then smooths a whole string period, which is slow but harmless).
float pickRate(std::mt19937& random) {
    static const float rates[] = {22050.0f, 32000.0f, 44100.0f, 48000.0f, 88200.0f, 96000.0f, 176400.0f,
                                  192000.0f, kNaN, kInf, -kInf, 0.0f, -44100.0f, -0.0f,
                                  std::numeric_limits<float>::min(), std::numeric_limits<float>::denorm_min(), 1e7f};
    if (random() % 4 == 0) return 22050.0f + static_cast<float>(random() % 169951);
    return rates[random() % (sizeof(rates) / sizeof(rates[0]))];
}

VstIntPtr pickBlockSize(std::mt19937& random) {
    static const VstIntPtr sizes[] = {-5, 0, 1, 2, 17, 64, 100, 512, 1024, 2048, 4096, 8192};
    return sizes[random() % (sizeof(sizes) / sizeof(sizes[0]))];
}

std::string randomText(std::mt19937& random, std::size_t maxLength) {
    static const char* const known[] = {"receiveVstEvents", "receiveVstMidiEvent", "receiveVstTimeInfo",
                                        "receiveVstMidiEvents", "ReceiveVstEvents", "sendVstEvents", "",
                                        "bypass", "offline", "midiProgramNames"};
    if (random() % 3 == 0) return known[random() % (sizeof(known) / sizeof(known[0]))];
    std::string text(random() % (maxLength + 1), ' ');
    for (char& c : text) c = static_cast<char>(1 + random() % 255);
    return text;
}

int capabilityAnswer(const std::string& text) {
    return text == "receiveVstEvents" || text == "receiveVstMidiEvent" || text == "receiveVstTimeInfo" ? 1 : -1;
}

// An event list as hosts build it, with odd contents: any status byte, offsets
// anywhere, other event types, more events than one block's queue holds.
struct EventList {
    std::vector<unsigned char> storage;
    VstEvents* events = nullptr;

    void build(std::mt19937& random) {
        const std::size_t count = random() % 4 == 0 ? 129 + random() % 200 : random() % 12;
        const std::size_t header = offsetof(VstEvents, events) + sizeof(VstEvent*) * (count < 2 ? 2 : count);
        storage.assign(header + sizeof(VstMidiEvent) * count, 0);
        events = reinterpret_cast<VstEvents*>(storage.data());
        events->numEvents = static_cast<VstInt32>(count);
        auto* midi = reinterpret_cast<VstMidiEvent*>(storage.data() + header);
        for (std::size_t i = 0; i < count; ++i) {
            VstMidiEvent& e = midi[i];
            e.type = random() % 8 == 0 ? static_cast<VstInt32>(random() % 10) : kVstMidiType;
            if (e.type == kVstSysExType) e.type = 0;  // a sysex record would need its own layout
            e.byteSize = random() % 4 == 0 ? static_cast<VstInt32>(random()) : static_cast<VstInt32>(sizeof(VstMidiEvent));
            switch (random() % 6) {
            case 0: e.deltaFrames = -static_cast<VstInt32>(random() % 1000); break;
            case 1: e.deltaFrames = static_cast<VstInt32>(random()); break;
            case 2: e.deltaFrames = std::numeric_limits<VstInt32>::max(); break;
            case 3: e.deltaFrames = std::numeric_limits<VstInt32>::min(); break;
            default: e.deltaFrames = static_cast<VstInt32>(random() % 4096); break;
            }
            for (char& b : e.midiData) b = static_cast<char>(random());
            if (random() % 2) e.midiData[0] = static_cast<char>((random() % 2 ? 0x90 : 0x80) | (random() % 16));
            events->events[i] = reinterpret_cast<VstEvent*>(&e);
        }
    }
};

// Builds a state block: random bytes, a block taken from the plug-in and
// altered, or one with non-finite values, in all the sizes hosts send.
std::vector<unsigned char> randomBlock(std::mt19937& random, PluginInstance& plugin) {
    std::vector<unsigned char> block;
    switch (random() % 5) {
    case 0: {
        static const std::size_t sizes[] = {0, 1, 4, 63, 64, 65, 88, 128, 703, 704, 705, 1408, 4096};
        block.resize(sizes[random() % (sizeof(sizes) / sizeof(sizes[0]))]);
        for (auto& b : block) b = static_cast<unsigned char>(random());
        break;
    }
    case 1:
    case 2:
        block = plugin.getChunk(random() % 2 == 0);
        break;
    default: {
        block.resize(random() % 2 ? 64 : 704);
        for (std::size_t i = 0; i + 4 <= block.size(); i += 4) {
            const float v = static_cast<float>(random() % 3000) / 1000.0f - 1.0f;
            std::memcpy(&block[i], &v, 4);
        }
        break;
    }
    }
    // Poke values: out of range, not a number, infinite.
    if (!block.empty() && random() % 2) {
        static const float pokes[] = {kNaN, kInf, -kInf, -5.0f, 7.0f, 1e30f, -0.0f};
        const std::size_t at = (random() % (block.size() / 4 + 1)) * 4;
        if (at + 4 <= block.size()) std::memcpy(&block[at], &pokes[random() % 7], 4);
    }
    return block;
}

// Whether the plug-in must take a block: the exact preset or bank size and
// nothing but finite values where the values lie.
bool acceptable(const std::vector<unsigned char>& block, bool preset) {
    if (!(preset && block.size() == 64) && block.size() != 704) return false;
    for (float v : blockValues(block))
        if (!std::isfinite(v)) return false;
    return true;
}

class DispatcherFuzz {
public:
    explicit DispatcherFuzz(unsigned seed) : random(seed) { reopen(); }

    void reopen() {
        plugin = newInstance();
        ASSERT_NE(plugin, nullptr);
        program = 0;
        if (random() % 3) plugin->start(pickRate(random), static_cast<VstInt32>(64 + random() % 1024));
    }

    // One random action; failures are reported with the action's number.
    void act(int step) {
        this->step = step;
        const unsigned kind = random() % 20;
        if (kind < 13) request(random() % 2 ? static_cast<VstInt32>(random() % 256) : static_cast<VstInt32>(random() % 80));
        else if (kind < 16) audioBlock();
        else if (kind < 18) parameter();
        else midi();
        if (::testing::Test::HasFatalFailure()) return;
        checkRecord();
    }

    void finish() {
        if (plugin) { EXPECT_EQ(plugin->close(), 1); }
        EXPECT_TRUE(output.guardsIntact());
        EXPECT_TRUE(audio.finite) << "not a number or infinite output";
        EXPECT_EQ(audio.subnormals, 0);
    }

    int requests = 0, blocks = 0;

private:
    void request(VstInt32 opcode) {
        ++requests;
        const Rule rule = ruleFor(opcode);
        VstInt32 index = pickIndex(random);
        VstIntPtr value = pickValue(random);
        float opt = pickOpt(random);
        if (opcode == effSetSampleRate) opt = pickRate(random);
        if (opcode == effSetBlockSize) value = pickBlockSize(random);
        if (opcode == effSetProgram && random() % 2) value = static_cast<VstIntPtr>(random() % 12) - 2;

        SCOPED_TRACE("step " + std::to_string(step) + ", request " + std::to_string(opcode) + ", index " +
                     std::to_string(index) + ", value " + std::to_string(value));

        if (opcode == effClose) {
            ASSERT_EQ(plugin->close(), 1);
            reopen();
            return;
        }

        // The pointer argument: null, a buffer of the smallest size the request
        // allows, or a large one.
        const unsigned size = random() % 3;  // 0 null, 1 small, 2 large
        std::size_t bytes = 0;
        switch (rule.pointer) {
        case Pointer::TextOut:
        case Pointer::PointerOut:
        case Pointer::Arrangement:
            bytes = size == 1 ? rule.bound : 4096;
            break;
        default:
            bytes = size == 1 ? 16 : 4096;
            break;
        }
        GuardedBytes buffer(bytes);
        GuardedBytes second(sizeof(void*) * 2);
        buffer.fillRandom(random);
        void* ptr = size == 0 ? nullptr : buffer.data();
        std::string text;
        std::vector<unsigned char> block;
        EventList list;

        switch (rule.pointer) {
        case Pointer::TextIn:
            text = randomText(random, 100);
            if (size != 0) {
                std::vector<unsigned char> contents(text.begin(), text.end());
                contents.push_back(0);
                GuardedBytes textBuffer(contents.size());
                buffer = std::move(textBuffer);
                buffer.assign(contents);
                ptr = buffer.data();
            }
            break;
        case Pointer::Arrangement:
        case Pointer::ArrangementIn:
            second.fillRandom(random);
            value = size == 0 || random() % 4 == 0 ? 0 : reinterpret_cast<VstIntPtr>(second.data());
            break;
        case Pointer::Chunk:
            block = randomBlock(random, *plugin);
            if (size != 0) {
                GuardedBytes blockBuffer(block.empty() ? 1 : block.size());
                buffer = std::move(blockBuffer);
                buffer.assign(block);
                ptr = buffer.data();
            }
            value = static_cast<VstIntPtr>(block.size());
            break;
        case Pointer::Events:
            if (size != 0) {
                list.build(random);
                ptr = list.events;
            }
            break;
        case Pointer::ParentWindow:
            ptr = nullptr;  // no window of the plug-in's own window layer exists out here
            break;
        default:
            break;
        }

        const std::vector<unsigned char> storageBefore = list.storage;
        const std::vector<unsigned char> bankBefore = opcode == effSetChunk ? plugin->getChunk(false) : std::vector<unsigned char>();
        const VstIntPtr answer = plugin->dispatch(opcode, index, value, ptr, opt);

        // Nothing outside the buffers, and inside them only what the request may write.
        EXPECT_TRUE(buffer.guardsIntact()) << "write outside the host's buffer";
        EXPECT_TRUE(second.guardsIntact()) << "write outside the host's buffer";
        switch (rule.pointer) {
        case Pointer::TextOut:
            EXPECT_TRUE(buffer.unchangedFrom(rule.bound)) << "text written beyond its bound";
            if (ptr) {
                EXPECT_TRUE(buffer.terminatedWithin(rule.bound)) << "text without a terminator";
            }
            break;
        case Pointer::PointerOut:
            EXPECT_TRUE(buffer.unchangedFrom(sizeof(void*)));
            break;
        case Pointer::Arrangement:
            EXPECT_TRUE(buffer.unchangedFrom(sizeof(void*)));
            EXPECT_TRUE(second.unchangedFrom(sizeof(void*)));
            if (ptr && value) {
                void* cleared[2];
                std::memcpy(&cleared[0], buffer.data(), sizeof(void*));
                std::memcpy(&cleared[1], second.data(), sizeof(void*));
                EXPECT_EQ(cleared[0], nullptr);
                EXPECT_EQ(cleared[1], nullptr);
            } else {
                EXPECT_TRUE(buffer.unchangedFrom(0));
                EXPECT_TRUE(second.unchangedFrom(0));
            }
            break;
        case Pointer::Events:
            EXPECT_EQ(list.storage, storageBefore) << "the host's events were written";
            break;
        default:
            EXPECT_TRUE(buffer.unchangedFrom(0)) << "a request that writes nothing wrote into the buffer";
            EXPECT_TRUE(second.unchangedFrom(0));
            break;
        }

        // Answers.
        const Expected expected = fixedAnswer(opcode, index, value, ptr != nullptr);
        if (expected.fixed) { EXPECT_EQ(answer, expected.answer); }
        switch (opcode) {
        case effSetProgram:
            if (value >= 0 && value < 8) program = static_cast<VstInt32>(value);
            break;
        case effGetProgram:
            EXPECT_EQ(answer, program);
            break;
        case effCanDo:
            EXPECT_EQ(answer, ptr ? capabilityAnswer(text) : 0) << text;
            break;
        case effGetParamName:
        case effGetParamLabel:
        case effGetParamDisplay:
            if (ptr && (index < 0 || index >= 16)) {
                EXPECT_EQ(buffer.data()[0], 0) << "text for an unknown parameter";
            }
            break;
        case effEditGetRect:
            if (ptr) {
                const ERect* rect = nullptr;
                std::memcpy(&rect, buffer.data(), sizeof(rect));
                if (!kBuiltPluginHasEditor) {
                    EXPECT_EQ(rect, nullptr) << "a rectangle without an editor";
                    break;
                }
                ASSERT_NE(rect, nullptr);
                EXPECT_EQ(rect->right - rect->left, 512);
                EXPECT_EQ(rect->bottom - rect->top, 272);
            }
            break;
        case effGetChunk:
            if (ptr) {
                const unsigned char* data = nullptr;
                std::memcpy(&data, buffer.data(), sizeof(data));
                ASSERT_NE(data, nullptr);
                const std::vector<unsigned char> copy(data, data + answer);
                for (float v : blockValues(copy)) EXPECT_TRUE(v >= 0.0f && v <= 1.0f) << v;
            }
            break;
        case effSetChunk: {
            const bool preset = index != 0;
            if (ptr && acceptable(block, preset)) {
                EXPECT_EQ(answer, value) << "a sound block was refused";
                EXPECT_TRUE(liveValuesInRange(*plugin));
            } else {
                EXPECT_EQ(answer, 0) << "a malformed block was taken";
                EXPECT_EQ(plugin->getChunk(false), bankBefore) << "a refused block changed the state";
            }
            break;
        }
        default:
            break;
        }
    }

    void audioBlock() {
        ++blocks;
        const unsigned pick = random() % 10;
        const VstInt32 frames = pick == 0 ? 0 : (pick == 1 ? -static_cast<VstInt32>(random() % 5) :
                                                 static_cast<VstInt32>(1 + random() % (pick == 2 ? 4096 : 600)));
        output.render(*plugin, frames);
        SCOPED_TRACE("step " + std::to_string(step) + ", block of " + std::to_string(frames));
        ASSERT_TRUE(output.guardsIntact()) << "write outside the output channels";
        if (frames > 0) {
            EXPECT_EQ(output.unwrittenFrames(frames), 0) << "frames left unwritten";
        }
        output.addTo(audio, frames);
        ASSERT_TRUE(audio.finite) << "step " << step;
    }

    void parameter() {
        const VstInt32 index = random() % 4 == 0 ? pickIndex(random) : static_cast<VstInt32>(random() % 16);
        static const float odd[] = {kNaN, kInf, -kInf, -1.0f, 2.0f, 1e-40f, -0.0f, 1.0f, 0.0f, 0.5f};
        const float value = random() % 2 ? odd[random() % 10] : static_cast<float>(random() % 1001) / 1000.0f;
        const float before = plugin->getParameter(index);
        plugin->setParameter(index, value);
        const float after = plugin->getParameter(index);
        if (index < 0 || index >= 16) {
            EXPECT_EQ(after, 0.0f);
        } else {
            EXPECT_TRUE(after >= 0.0f && after <= 1.0f) << index << " " << value << " gave " << after;
            if (std::isnan(value)) {
                EXPECT_EQ(after, before) << "a NaN was taken";
            }
        }
    }

    void midi() {
        EventList list;
        list.build(random);
        EXPECT_EQ(plugin->dispatch(effProcessEvents, 0, 0, list.events), 1);
    }

    void checkRecord() {
        EXPECT_TRUE(recordAsAnnounced(plugin->effect()));
    }

    std::mt19937 random;
    std::unique_ptr<PluginInstance> plugin;
    VstInt32 program = 0;
    GuardedOutput output{4096};
    AudioCheck audio;
    int step = 0;
};

}  // namespace

TEST(DispatcherFuzz, RandomRequestsMixedWithAudioKeepEveryRule) {
    ASSERT_TRUE(builtPlugin().loaded()) << builtPlugin().error();
    const int actions = scaled(30000, 2000);
    for (unsigned seed : {1u, 2u, 3u, 4u, 5u, 20240611u}) {
        SCOPED_TRACE("seed " + std::to_string(seed));
        DispatcherFuzz fuzz(seed);
        for (int step = 0; step < actions; ++step) {
            fuzz.act(step);
            if (::testing::Test::HasFailure()) break;
        }
        fuzz.finish();
        if (::testing::Test::HasFailure()) break;
        std::printf("seed %u: %d actions, %d requests, %d audio blocks\n", seed, actions, fuzz.requests, fuzz.blocks);
    }
}

TEST(DispatcherFuzz, EveryRequestWithEveryPointerSizeBeforeAndAfterResume) {
    // The systematic pass: each request number once per pointer size and per
    // state, with the same odd index, value and opt.
    ASSERT_TRUE(builtPlugin().loaded()) << builtPlugin().error();
    for (int state = 0; state < 3; ++state) {
        auto plugin = newInstance();
        ASSERT_NE(plugin, nullptr);
        if (state >= 1) plugin->start(44100.0f, 256);
        if (state == 2) plugin->suspend();
        for (VstInt32 opcode = 0; opcode < 256; ++opcode) {
            if (opcode == effClose || opcode == effEditOpen || opcode == effSetChunk || opcode == effProcessEvents ||
                opcode == effGetSpeakerArrangement || opcode == effSetSpeakerArrangement || opcode == effSetSampleRate ||
                opcode == effSetBlockSize)
                continue;  // these need arguments of their own kind; the random pass covers them
            const Rule rule = ruleFor(opcode);
            for (std::size_t bytes : {std::size_t{0}, rule.bound ? rule.bound : std::size_t{16}, std::size_t{4096}}) {
                GuardedBytes buffer(bytes ? bytes : 1);
                void* ptr = bytes ? buffer.data() : nullptr;
                if (rule.pointer == Pointer::TextIn) buffer.assign({'x', 0});
                const VstIntPtr answer = plugin->dispatch(opcode, 3, 5, ptr, 0.25f);
                EXPECT_TRUE(buffer.guardsIntact()) << opcode << " " << bytes;
                if (rule.pointer == Pointer::TextOut) {
                    EXPECT_TRUE(buffer.unchangedFrom(rule.bound)) << opcode;
                    if (ptr) {
                        EXPECT_TRUE(buffer.terminatedWithin(rule.bound)) << opcode;
                    }
                } else if (rule.pointer == Pointer::PointerOut) {
                    EXPECT_TRUE(buffer.unchangedFrom(sizeof(void*))) << opcode;
                } else {
                    EXPECT_TRUE(buffer.unchangedFrom(0)) << opcode << " " << bytes;
                }
                const Expected expected = fixedAnswer(opcode, 3, 5, ptr != nullptr);
                if (expected.fixed) {
                    EXPECT_EQ(answer, expected.answer) << opcode << " " << bytes;
                }
            }
        }
        EXPECT_EQ(plugin->effect()->flags, kBuiltPluginFlags);
        EXPECT_EQ(plugin->close(), 1);
    }
}
