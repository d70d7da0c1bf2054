// The files the tool writes and reads: .fxp and .fxb files (the exact container
// layout, and every way a file can be wrong being refused with a reason),
// outputs that appear only when complete, and WAV containers of any length.
#include <gtest/gtest.h>

#include <sndfile.h>
#include <unistd.h>

#include <filesystem>
#include <functional>

#include "ToolTestSupport.h"
#include "tools/render/AudioFileWriter.h"
#include "tools/render/OutputFile.h"
#include "tools/render/PresetFileIo.h"
#include "tools/render/ToolError.h"

namespace {

constexpr std::int32_t kId = 0x51464832;  // 'QFH2'

PresetFile samplePreset() {
    PresetFile preset;
    preset.kind = PresetFile::Kind::Preset;
    preset.pluginId = kId;
    preset.pluginVersion = 1;
    preset.count = 16;
    preset.programName = "Dry Harp";
    for (int i = 0; i < 64; ++i) preset.chunk.push_back(static_cast<unsigned char>(i * 3));
    return preset;
}

PresetFile sampleBank() {
    PresetFile bank;
    bank.kind = PresetFile::Kind::Bank;
    bank.pluginId = kId;
    bank.pluginVersion = 1;
    bank.count = 8;
    bank.currentProgram = 5;
    for (int i = 0; i < 704; ++i) bank.chunk.push_back(static_cast<unsigned char>(i * 7));
    return bank;
}

std::int32_t bigEndianAt(const std::vector<unsigned char>& bytes, std::size_t offset) {
    return static_cast<std::int32_t>((std::uint32_t(bytes[offset]) << 24) | (std::uint32_t(bytes[offset + 1]) << 16) |
                                     (std::uint32_t(bytes[offset + 2]) << 8) | std::uint32_t(bytes[offset + 3]));
}

void putBigEndian(std::vector<unsigned char>& bytes, std::size_t offset, std::int32_t value) {
    for (int i = 0; i < 4; ++i) bytes[offset + i] = static_cast<unsigned char>(static_cast<std::uint32_t>(value) >> (24 - 8 * i));
}

std::string text(const std::vector<unsigned char>& bytes, std::size_t offset, std::size_t length) {
    return std::string(bytes.begin() + static_cast<std::ptrdiff_t>(offset),
                       bytes.begin() + static_cast<std::ptrdiff_t>(offset + length));
}

}  // namespace

// The header fields at their standard offsets, big-endian, so other hosts read
// our files and we read theirs.
TEST(renderPresetFile, LayoutIsTheStandardContainer) {
    const std::vector<unsigned char> fxp = encodePresetFile(samplePreset());
    ASSERT_EQ(fxp.size(), 60u + 64u);
    EXPECT_EQ(text(fxp, 0, 4), "CcnK");
    EXPECT_EQ(bigEndianAt(fxp, 4), static_cast<std::int32_t>(fxp.size() - 8));
    EXPECT_EQ(text(fxp, 8, 4), "FPCh");
    EXPECT_EQ(bigEndianAt(fxp, 12), 1);
    EXPECT_EQ(text(fxp, 16, 4), "QFH2");
    EXPECT_EQ(bigEndianAt(fxp, 20), 1);
    EXPECT_EQ(bigEndianAt(fxp, 24), 16);
    EXPECT_EQ(text(fxp, 28, 9), std::string("Dry Harp\0", 9));
    EXPECT_EQ(bigEndianAt(fxp, 56), 64);
    EXPECT_EQ(fxp[60], 0);
    EXPECT_EQ(fxp[61], 3);

    const std::vector<unsigned char> fxb = encodePresetFile(sampleBank());
    ASSERT_EQ(fxb.size(), 160u + 704u);
    EXPECT_EQ(text(fxb, 8, 4), "FBCh");
    EXPECT_EQ(bigEndianAt(fxb, 12), 2);
    EXPECT_EQ(bigEndianAt(fxb, 24), 8);
    EXPECT_EQ(bigEndianAt(fxb, 28), 5);  // current program
    for (std::size_t i = 32; i < 156; ++i) ASSERT_EQ(fxb[i], 0) << "reserved byte " << i;
    EXPECT_EQ(bigEndianAt(fxb, 156), 704);
}

TEST(renderPresetFile, RoundTrips) {
    for (const PresetFile& original : {samplePreset(), sampleBank()}) {
        const PresetFile read = decodePresetFile(encodePresetFile(original), original.kind, kId, "f");
        EXPECT_EQ(read.pluginVersion, original.pluginVersion);
        EXPECT_EQ(read.count, original.count);
        EXPECT_EQ(read.programName, original.programName);
        EXPECT_EQ(read.currentProgram, original.currentProgram);
        EXPECT_EQ(read.chunk, original.chunk);
    }
    // A long program name is cut to fit its 28-byte field with a terminator.
    PresetFile longName = samplePreset();
    longName.programName = std::string(40, 'x');
    EXPECT_EQ(decodePresetFile(encodePresetFile(longName), PresetFile::Kind::Preset, kId, "f").programName,
              std::string(27, 'x'));
    // A version 1 bank does not say which program was current.
    std::vector<unsigned char> version1 = encodePresetFile(sampleBank());
    putBigEndian(version1, 12, 1);
    EXPECT_EQ(decodePresetFile(version1, PresetFile::Kind::Bank, kId, "f").currentProgram, -1);
    // Where the reader knows its block's size, a whole bank packed as a preset is not one program.
    PresetFile bankAsPreset = samplePreset();
    bankAsPreset.chunk = sampleBank().chunk;
    const std::vector<unsigned char> packed = encodePresetFile(bankAsPreset);
    PresetFile read;
    EXPECT_NE(parsePresetFile(packed.data(), packed.size(), {PresetFile::Kind::Preset, kId, 16, 64}, read)
                  .find("704-byte state is not one program (64 bytes)"),
              std::string::npos);
}

TEST(renderPresetFile, MalformedFilesAreRefusedWithTheirReason) {
    using Bytes = std::vector<unsigned char>;
    struct Case {
        const char* what;
        PresetFile::Kind kind;
        std::function<Bytes()> make;
        const char* reason;
    };
    const Bytes fxp = encodePresetFile(samplePreset());
    const Bytes fxb = encodePresetFile(sampleBank());
    auto changed = [](Bytes bytes, const std::function<void(Bytes&)>& change) {
        change(bytes);
        return bytes;
    };
    const std::vector<Case> cases = {
        {"empty file", PresetFile::Kind::Preset, [] { return Bytes{}; }, "no 'CcnK' header"},
        {"wrong container magic", PresetFile::Kind::Bank,
         [&] { return changed(fxb, [](Bytes& b) { b[0] = 'X'; }); }, "no 'CcnK' header"},
        {"a preset read as a bank", PresetFile::Kind::Bank, [&] { return fxp; }, "is a preset (.fxp) file"},
        {"a bank read as a preset", PresetFile::Kind::Preset, [&] { return fxb; }, "is a bank (.fxb) file"},
        {"parameter-list preset", PresetFile::Kind::Preset,
         [&] { return changed(fxp, [](Bytes& b) { b[8] = 'F', b[9] = 'x', b[10] = 'C', b[11] = 'k'; }); },
         "parameter values"},
        {"unknown type", PresetFile::Kind::Preset,
         [&] { return changed(fxp, [](Bytes& b) { b[10] = 'Z'; }); }, "unknown preset type 'FPZh'"},
        {"another plug-in's preset", PresetFile::Kind::Preset,
         [&] { return changed(fxp, [](Bytes& b) { b[19] = '3'; }); }, "'QFH3', not 'QFH2'"},
        {"another plug-in's bank", PresetFile::Kind::Bank,
         [&] { return changed(fxb, [](Bytes& b) { putBigEndian(b, 16, 1234); }); }, "ID 1234"},
        {"header cut short", PresetFile::Kind::Bank, [&] { return Bytes(fxb.begin(), fxb.begin() + 100); },
         "truncated header"},
        {"chunk cut short", PresetFile::Kind::Bank, [&] { return Bytes(fxb.begin(), fxb.end() - 1); },
         "truncated: the chunk needs 704 bytes, the file holds 703"},
        {"chunk size beyond the file", PresetFile::Kind::Preset,
         [&] { return changed(fxp, [](Bytes& b) { putBigEndian(b, 56, 0x7fffffff); }); }, "truncated"},
        {"bytes after the chunk", PresetFile::Kind::Preset,
         [&] { return changed(fxp, [](Bytes& b) { b.push_back(0); }); }, "1 stray bytes after the chunk"},
        {"chunk size smaller than the data", PresetFile::Kind::Bank,
         [&] { return changed(fxb, [](Bytes& b) { putBigEndian(b, 156, 700); }); }, "4 stray bytes"},
        {"negative chunk size", PresetFile::Kind::Bank,
         [&] { return changed(fxb, [](Bytes& b) { putBigEndian(b, 156, -1); }); }, "negative chunk size"},
        {"container length wrong", PresetFile::Kind::Preset,
         [&] { return changed(fxp, [](Bytes& b) { putBigEndian(b, 4, 0); }); }, "header says 8 bytes"},
        {"unknown format version", PresetFile::Kind::Bank,
         [&] { return changed(fxb, [](Bytes& b) { putBigEndian(b, 12, 3); }); }, "format version 3"},
        {"current program not in the bank", PresetFile::Kind::Bank,
         [&] { return changed(fxb, [](Bytes& b) { putBigEndian(b, 28, 8); }); }, "current program 8"},
        {"no parameters", PresetFile::Kind::Preset,
         [&] { return changed(fxp, [](Bytes& b) { putBigEndian(b, 24, 0); }); },
         "parameter count of 0, not 16"},
        {"absurd parameter count", PresetFile::Kind::Preset,
         [&] { return changed(fxp, [](Bytes& b) { putBigEndian(b, 24, 0x7fffffff); }); },
         "count of 2147483647"},
        {"negative parameter count", PresetFile::Kind::Preset,
         [&] { return changed(fxp, [](Bytes& b) { putBigEndian(b, 24, -5); }); }, "negative parameter count"},
        {"another program count", PresetFile::Kind::Bank,
         [&] { return changed(fxb, [](Bytes& b) { putBigEndian(b, 24, 9); }); }, "program count of 9, not 8"},
    };
    for (const Case& c : cases) {
        try {
            decodePresetFile(c.make(), c.kind, kId, "my.file", c.kind == PresetFile::Kind::Bank ? 8 : 16);
            ADD_FAILURE() << c.what << ": accepted";
        } catch (const ToolError& error) {
            const std::string message = error.what();
            EXPECT_EQ(message.rfind("my.file: ", 0), 0u) << c.what << ": " << message;
            EXPECT_NE(message.find(c.reason), std::string::npos) << c.what << ": " << message;
            EXPECT_EQ(message.find('\n'), std::string::npos) << c.what;
        }
    }
}

// An output abandoned before commit leaves nothing behind; a committed one
// replaces the old file whole.
TEST(renderOutputFile, AppearsOnlyWhenCommitted) {
    ScratchFolder folder;
    const std::string path = folder.file("out.bin");
    {
        OutputFile file(path);
        file.write("partial", 7);
        EXPECT_EQ(folder.entries().size(), 1u);  // the temporary file, hidden
        EXPECT_NE(folder.entries()[0], "out.bin");
    }
    EXPECT_TRUE(folder.entries().empty());

    writeBytes(path, {'o', 'l', 'd'});
    {
        OutputFile file(path);
        file.write("new", 3);
        EXPECT_EQ(readBytes(path), (std::vector<unsigned char>{'o', 'l', 'd'}));
        file.commit();
    }
    EXPECT_EQ(readBytes(path), (std::vector<unsigned char>{'n', 'e', 'w'}));
    EXPECT_EQ(folder.entries().size(), 1u);
    EXPECT_THROW(OutputFile{folder.path()}, ToolError);  // a folder is not a file
}

// A WAV whose data outgrows the 4 GiB a RIFF header can count is written as
// RF64 and read back whole, to its last frame; a WAV that could have grown so
// far but did not, and a small one, are plain RIFF. Written from synthetic
// frames: the writer, not the instrument, is under test.
TEST(renderAudioFileWriter, WavBeyondFourGibibytesIsRf64) {
    ScratchFolder folder;
    constexpr long kBlock = 65536;
    constexpr std::int64_t kFrames = (std::int64_t{1} << 29) + 3 * kBlock;  // 4 GiB of stereo float and more
    if (std::filesystem::space(folder.path()).available < (std::uint64_t{5} << 30))
        GTEST_SKIP() << "less than 5 GiB free in " << folder.path();
    auto value = [](std::int64_t frame) { return static_cast<float>(frame % 8191) / 8192.0f; };

    std::vector<float> block(2 * kBlock);
    {
        AudioFileWriter writer(folder.file("long.wav"), 48000, 2, FileFormat::Wav, SampleFormat::Float, kFrames);
        for (std::int64_t start = 0; start < kFrames; start += kBlock) {
            for (long i = 0; i < kBlock; ++i) {
                block[2 * static_cast<std::size_t>(i)] = value(start + i);
                block[2 * static_cast<std::size_t>(i) + 1] = -value(start + i);
            }
            writer.write(block.data(), kBlock);
        }
        EXPECT_THROW(writer.write(block.data(), 1), ToolError);  // more than announced
        writer.commit();
    }
    SF_INFO info{};
    SNDFILE* file = sf_open(folder.file("long.wav").c_str(), SFM_READ, &info);
    ASSERT_NE(file, nullptr) << sf_strerror(nullptr);
    EXPECT_EQ(info.format & SF_FORMAT_TYPEMASK, SF_FORMAT_RF64);
    EXPECT_EQ(info.frames, kFrames);
    // Across the frame where a 32-bit byte count wraps, and the very end.
    for (std::int64_t at : {(std::int64_t{1} << 29) - 4, kFrames - 4}) {
        float read[8] = {};
        ASSERT_EQ(sf_seek(file, at, SEEK_SET), at);
        ASSERT_EQ(sf_readf_float(file, read, 4), 4);
        for (int i = 0; i < 4; ++i) {
            EXPECT_EQ(read[2 * i], value(at + i)) << at + i;
            EXPECT_EQ(read[2 * i + 1], -value(at + i)) << at + i;
        }
    }
    sf_close(file);
    ::unlink(folder.file("long.wav").c_str());

    for (const std::int64_t announced : {kFrames, std::int64_t{kBlock}}) {
        {
            AudioFileWriter writer(folder.file("short.wav"), 48000, 2, FileFormat::Wav, SampleFormat::Int16, announced);
            writer.write(block.data(), kBlock);
            writer.commit();
        }
        const std::vector<unsigned char> bytes = readBytes(folder.file("short.wav"));
        EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 4), "RIFF") << announced;
        EXPECT_EQ(readAudio(folder.file("short.wav")).frames(), kBlock) << announced;
    }
}

// A write that fails at any byte near the end of a 16-bit WAV or a FLAC file
// (the last frames flushed, the header or STREAMINFO rewritten when the file
// is finished) is an error, and the old file stays; past the end, the file is
// whole.
TEST(renderAudioFileWriter, AWriteFailingAtTheEndKeepsTheOldFile) {
    ScratchFolder folder;
    std::vector<float> frames(12000);
    for (std::size_t i = 0; i < frames.size(); ++i) frames[i] = static_cast<float>(i % 397) / 400.0f - 0.5f;
    for (const FileFormat format : {FileFormat::Wav, FileFormat::Flac}) {
        const std::string path = folder.file(format == FileFormat::Wav ? "out.wav" : "out.flac");
        auto write = [&](std::uint64_t failAfter) {
            AudioFileWriter writer(path, 44100, 2, format, SampleFormat::Int16, 6000);
            writer.failWritesAfter(failAfter);
            try {
                writer.write(frames.data(), 6000);
                writer.commit();
                return true;
            } catch (const ToolError&) {
                return false;
            }
        };
        ASSERT_TRUE(write(UINT64_MAX));
        const std::vector<unsigned char> whole = readBytes(path), old = {'o', 'l', 'd'};
        int failed = 0;
        for (std::uint64_t n = whole.size() - 100; n < whole.size() + 100; ++n) {
            writeBytes(path, old);
            const bool written = write(n);
            failed += written ? 0 : 1;
            EXPECT_EQ(readBytes(path), written ? whole : old) << n;
        }
        EXPECT_GE(failed, 100) << "a byte of the file that may fail unnoticed";
        EXPECT_LT(failed, 200) << "a write past the end that fails";
    }
    EXPECT_EQ(folder.entries().size(), 2u);  // no temporary file left
}
