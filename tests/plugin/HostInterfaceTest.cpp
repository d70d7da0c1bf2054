// The plug-in's answers to a host's identity, capability and lifecycle requests,
// asked through the built library's exported entry point and dispatcher.
#include <cstring>
#include <string>

#include "Hammerlyn2Version.h"
#include "tests/plugin/PluginFixture.h"

TEST(EntryPoint, VersionAnswerDecidesWhetherAnInstanceIsCreated) {
    ASSERT_TRUE(builtPlugin().loaded()) << builtPlugin().error();
    HostOptions refusing;
    refusing.versionAnswer = 0;
    EXPECT_EQ(PluginInstance::create(builtPlugin().entry(), refusing), nullptr);
    // Old hosts answer 2 or 2300; anything but 0 is accepted.
    for (VstIntPtr version : {2, 2300, 2400}) {
        HostOptions options;
        options.versionAnswer = version;
        auto instance = PluginInstance::create(builtPlugin().entry(), options);
        ASSERT_NE(instance, nullptr) << version;
    }
    // A null host callback gets nothing either.
    EXPECT_EQ(builtPlugin().entry()(nullptr), nullptr);
}

TEST(EntryPoint, BothNamesAreExported) {
    ASSERT_TRUE(builtPlugin().loaded());
    void* main = builtPlugin().symbol("VSTPluginMain");
    void* alias = builtPlugin().symbol("main");
    ASSERT_NE(main, nullptr);
    ASSERT_NE(alias, nullptr);
    EXPECT_EQ(main, alias);
}

TEST_F(PluginTest, EffectRecordIsFilledAsAnnounced) {
    const AEffect* e = plugin->effect();
    EXPECT_TRUE(recordAsAnnounced(e));
    EXPECT_EQ(e->uniqueID, 0x51464832);
    // The editor's size where the build has a window layer; otherwise no
    // editor at all, and no rectangle for one.
    int sentinel = 0;
    auto* rect = reinterpret_cast<ERect*>(&sentinel);
    if (kBuiltPluginHasEditor) {
        EXPECT_EQ(plugin->dispatch(effEditGetRect, 0, 0, &rect), 1);
        ASSERT_NE(rect, nullptr);
        EXPECT_EQ(rect->right - rect->left, 512);
        EXPECT_EQ(rect->bottom - rect->top, 272);
    } else {
        EXPECT_EQ(plugin->dispatch(effEditGetRect, 0, 0, &rect), 0);
        EXPECT_EQ(rect, nullptr);
        EXPECT_EQ(plugin->dispatch(effEditOpen, 0, 0, nullptr), 0);
    }
    EXPECT_EQ(e->resvd1, 0);
    EXPECT_EQ(e->resvd2, 0);
    EXPECT_EQ(e->realQualities, 0);
    EXPECT_EQ(e->offQualities, 0);
    EXPECT_NE(e->object, nullptr);
    EXPECT_NE(e->dispatcher, nullptr);
    EXPECT_NE(e->process, nullptr);
    EXPECT_NE(e->processReplacing, nullptr);
    EXPECT_NE(e->processDoubleReplacing, nullptr);
    EXPECT_NE(e->setParameter, nullptr);
    EXPECT_NE(e->getParameter, nullptr);
    const char zeros[sizeof(e->future)] = {};
    EXPECT_EQ(std::memcmp(e->future, zeros, sizeof(zeros)), 0);
}

TEST_F(PluginTest, IdentityTextsAreWrittenWithTheirBounds) {
    char name[40];
    std::memset(name, 'x', sizeof(name));
    EXPECT_EQ(plugin->dispatch(effGetEffectName, 0, 0, name), 1);
    EXPECT_STREQ(name, "Hammerlyn2");
    for (int i = 10; i <= 32; ++i) EXPECT_EQ(name[i], 0) << i;  // zero bytes up to and including byte 32
    EXPECT_EQ(name[33], 'x');                                   // nothing beyond the bound

    char vendor[80];
    std::memset(vendor, 'x', sizeof(vendor));
    EXPECT_EQ(plugin->dispatch(effGetVendorString, 0, 0, vendor), 1);
    EXPECT_STREQ(vendor, "Quillfeather");
    EXPECT_EQ(vendor[64], 0);
    EXPECT_EQ(vendor[65], 'x');

    char product[80];
    std::memset(product, 'x', sizeof(product));
    EXPECT_EQ(plugin->dispatch(effGetProductString, 0, 0, product), 1);
    EXPECT_STREQ(product, "Quillfeather' Hammerlyn2");
    EXPECT_EQ(product[64], 0);
    EXPECT_EQ(product[65], 'x');
}

TEST_F(PluginTest, FixedAnswersOfTheRequestTable) {
    EXPECT_EQ(plugin->dispatch(effGetVendorVersion), HAMMERLYN2_VERSION_VST2);
    EXPECT_EQ(plugin->dispatch(effGetVstVersion), 2400);
    EXPECT_EQ(plugin->dispatch(effGetPlugCategory), kPlugCategSynth);
    EXPECT_EQ(plugin->dispatch(effIdentify), 0x4E764566);
    EXPECT_EQ(plugin->dispatch(effGetNumMidiInputChannels), 0);
    EXPECT_EQ(plugin->dispatch(effGetNumMidiOutputChannels), 0);
    EXPECT_EQ(plugin->dispatch(effGetCurrentMidiProgram), -1);
    EXPECT_EQ(plugin->dispatch(effGetTailSize), 0);
    EXPECT_EQ(plugin->dispatch(effCanBeAutomated, 3), 1);
    EXPECT_EQ(plugin->dispatch(effSetTotalSampleToProcess, 0, 777), 777);
    EXPECT_EQ(plugin->dispatch(effEditKeyDown, 'a', 0), 0);
    EXPECT_EQ(plugin->dispatch(effEditKeyUp, 'a', 0), 0);
    EXPECT_EQ(plugin->dispatch(effSetEditKnobMode, 0, 2), 0);
    EXPECT_EQ(plugin->dispatch(effOpen), 0);
    EXPECT_EQ(plugin->dispatch(effGetProgram), 0);
    char text[64] = {};
    EXPECT_EQ(plugin->dispatch(effString2Parameter, 0, 0, text), 0);
    // Deprecated and unknown requests answer 0 and do nothing.
    for (VstInt32 opcode : {9,  16, 17, 18, 20, 21, 28, 30, 31, 32, 36, 37,  38, 39,
                            40, 41, 42, 43, 44, 46, 53, 54, 55, 57, 80, 100, 255}) {
        EXPECT_EQ(plugin->dispatch(opcode, 0, 0, nullptr, 0.0f), 0) << opcode;
    }
    EXPECT_EQ(plugin->effect()->flags, kBuiltPluginFlags);
}

TEST_F(PluginTest, CapabilitiesAreMatchedExactly) {
    auto canDo = [&](const char* text) {
        std::string copy(text);
        return plugin->dispatch(effCanDo, 0, 0, copy.data());
    };
    EXPECT_EQ(canDo("receiveVstEvents"), 1);
    EXPECT_EQ(canDo("receiveVstMidiEvent"), 1);
    EXPECT_EQ(canDo("receiveVstTimeInfo"), 1);
    EXPECT_EQ(canDo("receiveVstMidiEvents"), -1);
    EXPECT_EQ(canDo("ReceiveVstMidiEvent"), -1);
    EXPECT_EQ(canDo(""), -1);
    EXPECT_EQ(canDo("sendVstEvents"), -1);
}

TEST_F(PluginTest, ProgramSelectionStaysInsideTheBank) {
    plugin->setProgram(7);
    EXPECT_EQ(plugin->program(), 7);
    plugin->setProgram(8);
    EXPECT_EQ(plugin->program(), 7);
    plugin->setProgram(-1);
    EXPECT_EQ(plugin->program(), 7);
    plugin->setProgram(0);
    EXPECT_EQ(plugin->program(), 0);
}

TEST_F(PluginTest, SpeakerArrangementQueryClearsBothPointers) {
    int dummy = 0;
    void* input = &dummy;
    void* output = &dummy;
    EXPECT_EQ(plugin->dispatch(effGetSpeakerArrangement, 0, reinterpret_cast<VstIntPtr>(&input), &output), 0);
    EXPECT_EQ(input, nullptr);
    EXPECT_EQ(output, nullptr);
}

TEST_F(PluginTest, NullPointerRequestsAnswerZero) {
    for (VstInt32 opcode : {effSetProgramName, effGetProgramName, effGetParamLabel, effGetParamDisplay,
                            effGetParamName, effEditGetRect, effGetChunk, effSetChunk, effProcessEvents,
                            effGetProgramNameIndexed, effGetEffectName, effGetVendorString,
                            effGetProductString, effCanDo, effGetSpeakerArrangement, effShellGetNextPlugin}) {
        EXPECT_EQ(plugin->dispatch(opcode, 1, 704, nullptr), 0) << opcode;
    }
}

TEST_F(PluginTest, HostHearsOnlyTheVersionRequestAndMidiWishes) {
    const auto created = plugin->calls();
    ASSERT_EQ(created.size(), 1u);
    EXPECT_EQ(created[0].opcode, audioMasterVersion);
    plugin->clearCalls();

    plugin->start(48000.0f, 256);
    plugin->process(256);
    plugin->suspend();
    plugin->dispatch(effMainsChanged, 0, 2);  // any nonzero value resumes
    plugin->process(256);

    const auto calls = plugin->calls();
    ASSERT_EQ(calls.size(), 2u);
    for (const HostCall& call : calls) {
        EXPECT_EQ(call.opcode, audioMasterWantMidi);
        EXPECT_EQ(call.index, 0);
        EXPECT_EQ(call.value, 1);
    }
}

TEST_F(PluginTest, CloseAnswersOneAndReleasesTheInstance) {
    plugin->start(44100.0f, 128);
    EXPECT_EQ(plugin->close(), 1);
    EXPECT_EQ(plugin->effect(), nullptr);
    // The sanitizer build's leak check proves that everything was released.
    auto second = PluginInstance::create(builtPlugin().entry());
    ASSERT_NE(second, nullptr);
}

TEST_F(PluginTest, FloatingPointModeOfTheHostIsRestored) {
#if defined(__SSE__) || defined(__x86_64__)
    plugin->start(44100.0f, 64);
    unsigned before = 0, after = 0;
    asm volatile("stmxcsr %0" : "=m"(before));
    plugin->process(64);
    asm volatile("stmxcsr %0" : "=m"(after));
    EXPECT_EQ(before, after);
    EXPECT_EQ(after & 0x8040u, before & 0x8040u);
#else
    GTEST_SKIP() << "no SSE control register";
#endif
}
