// Writes interleaved float frames to a WAV or FLAC file through libsndfile. The
// file appears under its name only after commit(); until then it is a
// temporary file in the same folder, removed if the writer is destroyed first.
#pragma once

#include <memory>
#include <sndfile.h>
#include <string>

#include "tools/render/OutputFile.h"
#include "tools/render/RenderOptions.h"

class AudioFileWriter {
public:
    // Throws ToolError when the file cannot be created.
    AudioFileWriter(const std::string& path, int sampleRate, int channels, FileFormat format, SampleFormat samples);
    ~AudioFileWriter();
    AudioFileWriter(const AudioFileWriter&) = delete;
    AudioFileWriter& operator=(const AudioFileWriter&) = delete;

    // Appends frames (channels values each); throws ToolError on a write error.
    void write(const float* interleaved, long frames);
    // Finishes the file and gives it its name.
    void commit();

    // "24-bit WAV" and the like, for the summary.
    std::string description() const;

private:
    OutputFile file;
    SNDFILE* sound = nullptr;
    FileFormat format;
    SampleFormat samples;
};
