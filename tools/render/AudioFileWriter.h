// Writes interleaved float frames to a WAV or FLAC file through libsndfile. The
// file appears under its name only after commit(); until then it is a
// temporary file in the same folder, removed if the writer is destroyed first.
#pragma once

#include <cstdint>
#include <memory>
#include <sndfile.h>
#include <string>

#include "tools/render/OutputFile.h"
#include "tools/render/RenderOptions.h"

// The most bytes a file of this many frames can take: the samples at their
// stored size and room for the headers (for FLAC, its uncompressed size).
std::uint64_t largestFileBytes(SampleFormat samples, int channels, std::int64_t frames);

class AudioFileWriter {
public:
    // A writer for at most mostFrames frames. A WAV whose data could outgrow
    // the 4 GiB a RIFF header can count is written as RF64, which libsndfile
    // turns back into a plain WAV if it ends up small enough. Throws ToolError
    // when the file cannot be created.
    // The file is an OutputFile (replaceReadOnly as there).
    AudioFileWriter(const std::string& path, int sampleRate, int channels, FileFormat format, SampleFormat samples,
                    std::int64_t mostFrames, bool replaceReadOnly = false);
    ~AudioFileWriter();
    AudioFileWriter(const AudioFileWriter&) = delete;
    AudioFileWriter& operator=(const AudioFileWriter&) = delete;

    // Appends frames (channels values each); throws ToolError on a write error
    // or beyond the frames announced.
    void write(const float* interleaved, long frames);
    // Finishes the file and gives it its name; throws ToolError, the old file
    // left in place, when any byte of it could not be written.
    void commit();

    // Tests: every byte written beyond this many (the header rewritten at the
    // end counts again) fails as on a full disk.
    void failWritesAfter(std::uint64_t bytes);

    // "24-bit WAV" and the like, for the summary.
    std::string description() const;

private:
    struct Sink;

    OutputFile file;
    std::unique_ptr<Sink> sink;
    SNDFILE* sound = nullptr;
    FileFormat format;
    SampleFormat samples;
    std::int64_t framesLeft;
};
