#include "tools/render/AudioFileWriter.h"

#include "tools/render/ToolError.h"

AudioFileWriter::AudioFileWriter(const std::string& path, int sampleRate, int channels, FileFormat format,
                                 SampleFormat samples)
    : file(path), format(format), samples(samples) {
    SF_INFO info{};
    info.samplerate = sampleRate;
    info.channels = channels;
    const int container = format == FileFormat::Flac ? SF_FORMAT_FLAC : SF_FORMAT_WAV;
    const int encoding = samples == SampleFormat::Int16   ? SF_FORMAT_PCM_16
                         : samples == SampleFormat::Int24 ? SF_FORMAT_PCM_24
                                                          : SF_FORMAT_FLOAT;
    info.format = container | encoding;
    if (!sf_format_check(&info)) throw ToolError("cannot write " + path + ": libsndfile refuses this format");
    // libsndfile closes the descriptor together with the file.
    sound = sf_open_fd(file.releaseDescriptor(), SFM_WRITE, &info, SF_TRUE);
    if (!sound) throw ToolError("cannot write " + path + ": " + sf_strerror(nullptr));
    // The PEAK chunk carries the time of writing; without it two renders of the
    // same input are the same bytes.
    sf_command(sound, SFC_SET_ADD_PEAK_CHUNK, nullptr, SF_FALSE);
    // Integer formats clip values beyond full scale instead of wrapping round.
    sf_command(sound, SFC_SET_CLIPPING, nullptr, SF_TRUE);
}

AudioFileWriter::~AudioFileWriter() {
    if (sound) sf_close(sound);
}

void AudioFileWriter::write(const float* interleaved, long frames) {
    if (frames <= 0) return;
    if (sf_writef_float(sound, interleaved, frames) != frames)
        throw ToolError("cannot write " + file.path() + ": " + sf_strerror(sound));
}

void AudioFileWriter::commit() {
    const int result = sf_close(sound);
    sound = nullptr;
    if (result != 0) throw ToolError("cannot write " + file.path() + ": " + sf_error_number(result));
    file.commit();
}

std::string AudioFileWriter::description() const {
    const std::string bits = samples == SampleFormat::Int16 ? "16-bit" : samples == SampleFormat::Int24 ? "24-bit" : "float";
    return bits + (format == FileFormat::Flac ? " FLAC" : " WAV");
}
