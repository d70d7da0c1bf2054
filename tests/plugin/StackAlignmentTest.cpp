// 32-bit Windows hosts built with other compilers only keep the stack 4-byte
// aligned. Every entry of the plug-in is called here with the stack misaligned
// by 4, 8 and 12 bytes and must behave exactly as with an aligned stack.
#include <cstring>

#include "tests/plugin/PluginFixture.h"

#if defined(_WIN32) && defined(__i386__)

// Calls fn with count 32-bit arguments on a stack whose alignment at the call is
// off by misalign bytes; returns what fn leaves in eax.
extern "C" std::uint32_t callMisaligned(const void* fn, const std::uint32_t* args, int count, int misalign);
asm(R"(
    .text
    .globl _callMisaligned
_callMisaligned:
    pushl %ebp
    movl %esp, %ebp
    pushl %esi
    pushl %edi
    pushl %ebx
    movl 12(%ebp), %esi
    movl 16(%ebp), %ecx
    movl 20(%ebp), %edx
    andl $-16, %esp
    subl $64, %esp
    subl %edx, %esp
    xorl %eax, %eax
1:  cmpl %ecx, %eax
    jge 2f
    movl (%esi,%eax,4), %edi
    movl %edi, (%esp,%eax,4)
    incl %eax
    jmp 1b
2:  call *8(%ebp)
    leal -12(%ebp), %esp
    popl %ebx
    popl %edi
    popl %esi
    popl %ebp
    ret
)");

namespace {
std::uint32_t word(const void* p) { return static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(p)); }
std::uint32_t word(float f) {
    std::uint32_t bits;
    std::memcpy(&bits, &f, 4);
    return bits;
}
}  // namespace

TEST(StackAlignment, EveryEntrySurvivesAMisalignedStack) {
    ASSERT_TRUE(builtPlugin().loaded());
    const std::vector<MidiMessage> notes = {{0, 0x90, 60, 127}, {7, 0x90, 67, 90}};
    auto reference = PluginInstance::create(builtPlugin().entry());
    reference->start(44100.0f, 256);
    reference->setParameter(3, 0.7f);
    reference->sendMidi(notes);
    reference->process(256);

    for (int misalign : {4, 8, 12}) {
        auto plugin = PluginInstance::create(builtPlugin().entry());
        ASSERT_NE(plugin, nullptr);
        AEffect* e = plugin->effect();
        plugin->start(44100.0f, 256);

        // Through the entry point itself.
        const std::uint32_t mainArgs[] = {word(reinterpret_cast<const void*>(&PluginInstance::hostCallback))};
        auto* created = reinterpret_cast<AEffect*>(
            callMisaligned(reinterpret_cast<const void*>(builtPlugin().entry()), mainArgs, 1, misalign));
        ASSERT_NE(created, nullptr);
        created->dispatcher(created, effClose, 0, 0, nullptr, 0.0f);

        char name[64] = {};
        const std::uint32_t nameArgs[] = {word(e), effGetEffectName, 0, 0, word(name), word(0.0f)};
        EXPECT_EQ(callMisaligned(reinterpret_cast<const void*>(e->dispatcher), nameArgs, 6, misalign), 1u);
        EXPECT_STREQ(name, "Hammerlyn2");

        const std::uint32_t paramArgs[] = {word(e), 3, word(0.7f)};
        callMisaligned(reinterpret_cast<const void*>(e->setParameter), paramArgs, 3, misalign);
        EXPECT_EQ(plugin->getParameter(3), 0.7f);

        plugin->sendMidi(notes);
        std::vector<float> left(256), right(256);
        float* outputs[2] = {left.data(), right.data()};
        const std::uint32_t processArgs[] = {word(e), 0, word(outputs), 256};
        callMisaligned(reinterpret_cast<const void*>(e->processReplacing), processArgs, 4, misalign);
        EXPECT_EQ(left, reference->left()) << misalign;
        EXPECT_EQ(right, reference->right()) << misalign;
    }
}

#else

TEST(StackAlignment, EveryEntrySurvivesAMisalignedStack) {
    GTEST_SKIP() << "only 32-bit Windows hosts misalign";
}

#endif
