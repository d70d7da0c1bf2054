#include "tools/render/AudioFileWriter.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>

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

// libsndfile reaches the file through these, on the descriptor the tool keeps.
// It does not report every failed write (not those of the header it rewrites
// at the end, nor of the last frames it flushes there): each is noted here.
struct AudioFileWriter::Sink {
    static sf_count_t length(void* user) {
        struct stat info {};
        return ::fstat(of(user).fd, &info) == 0 ? info.st_size : -1;
    }
    static sf_count_t seek(sf_count_t offset, int whence, void* user) {
        return ::lseek(of(user).fd, static_cast<off_t>(offset), whence);
    }
    static sf_count_t tell(void* user) { return ::lseek(of(user).fd, 0, SEEK_CUR); }
    static sf_count_t read(void* buffer, sf_count_t count, void* user) {
        auto* bytes = static_cast<char*>(buffer);
        sf_count_t done = 0;
        while (done < count) {
            const ssize_t got = ::read(of(user).fd, bytes + done, static_cast<std::size_t>(count - done));
            if (got < 0 && errno == EINTR) continue;
            if (got <= 0) break;
            done += got;
        }
        return done;
    }
    static sf_count_t write(const void* buffer, sf_count_t count, void* user) {
        Sink& sink = of(user);
        const auto* bytes = static_cast<const char*>(buffer);
        sf_count_t done = 0;
        while (done < count) {
            auto size = static_cast<std::uint64_t>(count - done);
            if (sink.written >= sink.failAfter) {
                sink.fail(ENOSPC);
                break;
            }
            size = std::min(size, sink.failAfter - sink.written);
            const ssize_t put = ::write(sink.fd, bytes + done, static_cast<std::size_t>(size));
            if (put < 0 && errno == EINTR) continue;
            if (put <= 0) {
                sink.fail(put < 0 ? errno : ENOSPC);
                break;
            }
            done += put;
            sink.written += static_cast<std::uint64_t>(put);
        }
        return done;
    }

    static Sink& of(void* user) { return *static_cast<Sink*>(user); }
    void fail(int error) {
        if (this->error == 0) this->error = error;
    }

    int fd = -1;
    int error = 0;  // the first failure's errno, 0 while none
    std::uint64_t written = 0;
    std::uint64_t failAfter = std::numeric_limits<std::uint64_t>::max();
};

std::uint64_t largestFileBytes(SampleFormat samples, int channels, std::int64_t frames) {
    const std::uint64_t count = frames > 0 ? static_cast<std::uint64_t>(frames) : 0;
    return count * static_cast<std::uint64_t>(channels) * bytesPerSample(samples) + kHeaderRoom;
}

AudioFileWriter::AudioFileWriter(const std::string& path, int sampleRate, int channels, FileFormat format,
                                 SampleFormat samples, std::int64_t mostFrames, bool replaceReadOnly)
    : file(path, replaceReadOnly), sink(std::make_unique<Sink>()), format(format), samples(samples),
      framesLeft(mostFrames) {
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
    sink->fd = file.descriptor();
    SF_VIRTUAL_IO io{&Sink::length, &Sink::seek, &Sink::read, &Sink::write, &Sink::tell};
    sound = sf_open_virtual(&io, SFM_WRITE, &info, sink.get());
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
    const bool whole = sf_writef_float(sound, interleaved, frames) == frames;
    if (sink->error != 0) throw ToolError("cannot write " + file.path() + ": " + std::strerror(sink->error));
    if (!whole) throw ToolError("cannot write " + file.path() + ": " + sf_strerror(sound));
    framesLeft -= frames;
}

void AudioFileWriter::commit() {
    const int result = sf_close(sound);
    sound = nullptr;
    if (sink->error != 0) throw ToolError("cannot write " + file.path() + ": " + std::strerror(sink->error));
    if (result != 0) throw ToolError("cannot write " + file.path() + ": " + sf_error_number(result));
    file.commit();
}

void AudioFileWriter::failWritesAfter(std::uint64_t bytes) { sink->failAfter = bytes; }

std::string AudioFileWriter::description() const {
    const std::string bits = samples == SampleFormat::Int16 ? "16-bit" : samples == SampleFormat::Int24 ? "24-bit" : "float";
    return bits + (format == FileFormat::Flac ? " FLAC" : " WAV");
}
