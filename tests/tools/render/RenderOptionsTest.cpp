// The command line: what each option sets, and the mistakes caught before
// anything is loaded.
#include <gtest/gtest.h>

#include "tools/render/RenderOptions.h"
#include "tools/render/ToolError.h"

// The choices the parser makes itself, beyond copying values over.
TEST(renderOptions, DefaultsAndInferredChoices) {
    const RenderOptions defaults = parseRenderOptions({"-o", "demo.wav"});
    EXPECT_TRUE(defaults.midiFile.empty());  // the demo
    EXPECT_EQ(defaults.format, FileFormat::Wav);
    EXPECT_EQ(defaults.sampleFormat, SampleFormat::Int24);
    EXPECT_EQ(defaults.sampleRate, 44100);
    EXPECT_EQ(defaults.blockSize, 512);
    EXPECT_EQ(defaults.maxLengthSeconds, 7200.0);
    // The file type follows the extension unless given; "--name=value" equals "--name value".
    EXPECT_EQ(parseRenderOptions({"-o", "x.FLAC"}).format, FileFormat::Flac);
    EXPECT_EQ(parseRenderOptions({"-o", "x.flac", "--format=wav"}).format, FileFormat::Wav);
    const RenderOptions attached = parseRenderOptions({"song.mid", "--output=x.wav", "--param=Vel=1", "--program=Dry Harp"});
    EXPECT_EQ(attached.output, "x.wav");
    ASSERT_EQ(attached.parameters.size(), 1u);
    EXPECT_EQ(attached.parameters[0].name, "Vel");
    EXPECT_EQ(attached.parameters[0].value, 1.0f);
    EXPECT_EQ(attached.program, "Dry Harp");
    // Saving or listing alone is a complete job, with no audio.
    EXPECT_TRUE(parseRenderOptions({"--save-bank", "x.fxb"}).output.empty());
    EXPECT_TRUE(parseRenderOptions({"--list-params"}).listParameters);
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
        {{"--max-length", "0", "-o", "x.wav"}, "--max-length: 0 is out of range (above 0, up to 1e9 seconds)"},
        {{"--max-length", "2e9", "-o", "x.wav"}, "out of range"},
        {{"--max-length", "inf", "-o", "x.wav"}, "not a number"},
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
