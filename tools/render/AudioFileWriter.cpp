#include "tools/render/AudioFileWriter.h"

#include "tools/render/ToolError.h"

namespace {

// Header and trailing chunks of either container, generously.
constexpr std::uint64_t kHeaderRoom = 4096;
// The largest data a RIFF header can count: its size field holds the bytes
// after the first eight, headers included.
constexpr std::uint64_t kLargestRiffData = 0xffffffffull - kHeaderRoom;

std::uint64_t bytesPerSample(SampleFormat samples) {
    return samples == SampleFormat::Int16 ? 2 : samples == SampleFormat::Int24 ? 3 : 4;
}

}  // namespace

std::uint64_t largestFileBytes(SampleFormat samples, int channels, std::int64_t frames) {
    const std::uint64_t count = frames > 0 ? static_cast<std::uint64_t>(frames) : 0;
    return count * static_cast<std::uint64_t>(channels) * bytesPerSample(samples) + kHeaderRoom;
}

AudioFileWriter::AudioFileWriter(const std::string& path, int sampleRate, int channels, FileFormat format,
                                 SampleFormat samples, std::int64_t mostFrames)
    : file(path), format(format), samples(samples), framesLeft(mostFrames) {
    const bool large = largestFileBytes(samples, channels, mostFrames) - kHeaderRoom > kLargestRiffData;
    SF_INFO info{};
    info.samplerate = sampleRate;
    info.channels = channels;
    const int container = format == FileFormat::Flac ? SF_FORMAT_FLAC : large ? SF_FORMAT_RF64 : SF_FORMAT_WAV;
    const int encoding = samples == SampleFormat::Int16   ? SF_FORMAT_PCM_16
                         : samples == SampleFormat::Int24 ? SF_FORMAT_PCM_24
                                                          : SF_FORMAT_FLOAT;
    info.format = container | encoding;
    if (!sf_format_check(&info)) throw ToolError("cannot write " + path + ": libsndfile refuses this format");
    // libsndfile closes the descriptor together with the file.
    sound = sf_open_fd(file.releaseDescriptor(), SFM_WRITE, &info, SF_TRUE);
    if (!sound) throw ToolError("cannot write " + path + ": " + sf_strerror(nullptr));
    if (container == SF_FORMAT_RF64) sf_command(sound, SFC_RF64_AUTO_DOWNGRADE, nullptr, SF_TRUE);
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
    // The container was chosen for the frames announced; more could overflow it.
    if (frames > framesLeft) throw ToolError("cannot write " + file.path() + ": more audio than announced");
    if (sf_writef_float(sound, interleaved, frames) != frames)
        throw ToolError("cannot write " + file.path() + ": " + sf_strerror(sound));
    framesLeft -= frames;
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
