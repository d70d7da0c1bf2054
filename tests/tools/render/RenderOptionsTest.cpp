// The command line: what each option sets, and the mistakes caught before
// anything is loaded.
#include <gtest/gtest.h>

#include "tools/render/RenderOptions.h"
#include "tools/render/ToolError.h"

TEST(renderOptions, ReadsEveryOption) {
    const RenderOptions options = parseRenderOptions(
        {"song.mid", "-o", "out.flac", "--plugin", "x.so", "--program=Dry Harp", "--param", "Damp=0.25", "--param=Vel=1",
         "--preset", "a.fxp", "--bank", "b.fxb", "--save-preset", "c.fxp", "--save-bank=d.fxb", "--rate", "96000",
         "--block", "64", "--bits", "16", "--tail", "2.5", "--list-programs", "--list-params", "--quiet"});
    EXPECT_EQ(options.midiFile, "song.mid");
    EXPECT_EQ(options.output, "out.flac");
    EXPECT_EQ(options.plugin, "x.so");
    EXPECT_EQ(options.program, "Dry Harp");
    ASSERT_EQ(options.parameters.size(), 2u);
    EXPECT_EQ(options.parameters[0].name, "Damp");
    EXPECT_EQ(options.parameters[0].value, 0.25f);
    EXPECT_EQ(options.parameters[1].name, "Vel");
    EXPECT_EQ(options.loadPreset, "a.fxp");
    EXPECT_EQ(options.loadBank, "b.fxb");
    EXPECT_EQ(options.savePreset, "c.fxp");
    EXPECT_EQ(options.saveBank, "d.fxb");
    EXPECT_EQ(options.sampleRate, 96000);
    EXPECT_EQ(options.blockSize, 64);
    EXPECT_EQ(options.format, FileFormat::Flac);  // from the extension
    EXPECT_EQ(options.sampleFormat, SampleFormat::Int16);
    EXPECT_EQ(options.tailSeconds, 2.5);
    EXPECT_TRUE(options.listPrograms && options.listParameters && options.quiet);

    const RenderOptions defaults = parseRenderOptions({"-o", "demo.wav"});
    EXPECT_TRUE(defaults.midiFile.empty());
    EXPECT_EQ(defaults.format, FileFormat::Wav);
    EXPECT_EQ(defaults.sampleFormat, SampleFormat::Int24);
    EXPECT_EQ(defaults.sampleRate, 44100);
    EXPECT_EQ(defaults.blockSize, 512);
    // An explicit format wins over the extension.
    EXPECT_EQ(parseRenderOptions({"-o", "x.flac", "--format", "wav"}).format, FileFormat::Wav);
    // Saving alone is a complete job, with no audio.
    EXPECT_TRUE(parseRenderOptions({"--save-bank", "x.fxb"}).output.empty());
}

TEST(renderOptions, MistakesAreNamed) {
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{}, "nothing to do"},
        {{"song.mid"}, "no output"},
        {{"a.mid", "b.mid", "-o", "x.wav"}, "more than one MIDI file"},
        {{"-o"}, "-o needs a value"},
        {{"--rate", "44.1k", "-o", "x.wav"}, "'44.1k' is not a whole number"},
        {{"--rate", "1000", "-o", "x.wav"}, "out of range (8000 to 384000)"},
        {{"--block", "0", "-o", "x.wav"}, "out of range (1 to 8192)"},
        {{"--param", "Damp", "-o", "x.wav"}, "expected NAME=VALUE"},
        {{"--param", "Damp=loud", "-o", "x.wav"}, "'loud' is not a number"},
        {{"--param", "Damp=1.01", "-o", "x.wav"}, "out of range (0 to 1)"},
        {{"--param", "Damp=-0", "-o", "x.wav"}, ""},  // accepted: -0 is 0
        {{"--param", "Damp=nan", "-o", "x.wav"}, "not a number"},
        {{"--format", "mp3", "-o", "x.wav"}, "'mp3' is not wav or flac"},
        {{"--bits", "8", "-o", "x.wav"}, "'8' is not 16, 24 or float"},
        {{"--bits", "float", "-o", "x.flac"}, "FLAC cannot hold float samples"},
        {{"--tail", "-1", "-o", "x.wav"}, "out of range"},
        {{"--quiet=yes", "-o", "x.wav"}, "takes no value"},
        {{"--louder", "-o", "x.wav"}, "unknown option --louder"},
    };
    for (const auto& [arguments, reason] : cases) {
        std::string message = "accepted";
        try {
            parseRenderOptions(arguments);
        } catch (const ToolError& error) {
            message = error.what();
        }
        if (reason.empty())
            EXPECT_EQ(message, "accepted");
        else
            EXPECT_NE(message.find(reason), std::string::npos) << "expected '" << reason << "', got: " << message;
    }
}
