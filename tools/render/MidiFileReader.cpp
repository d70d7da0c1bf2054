#include "tools/render/MidiFileReader.h"

#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <queue>
#include <vector>

#include "tools/render/ToolError.h"

namespace {

// Standard MIDI Files of songs are small; anything larger is refused unread.
constexpr std::size_t kLargestFile = 64u << 20;
// Until the file says otherwise a quarter note lasts half a second (120 BPM).
constexpr std::uint32_t kDefaultTempo = 500000;
// A variable-length quantity has at most four bytes (up to 0x0FFFFFFF).
constexpr int kLongestQuantity = 4;

// Why a file cannot be read; turned into the tool's one-line error at the top.
struct Malformed {
    std::string why;
};

std::uint32_t bigEndian32(const unsigned char* at) {
    return (std::uint32_t(at[0]) << 24) | (std::uint32_t(at[1]) << 16) | (std::uint32_t(at[2]) << 8) |
           std::uint32_t(at[3]);
}

// Bytes a channel message has after its status.
int dataBytes(unsigned char status) {
    const unsigned char kind = status & 0xf0;
    return kind == 0xc0 || kind == 0xd0 ? 1 : 2;
}

// One decoded event of a track, at its absolute tick.
struct TrackEvent {
    enum class Kind { Channel, Tempo, Other };
    Kind kind = Kind::Other;
    std::uint64_t tick = 0;
    unsigned char status = 0, data1 = 0, data2 = 0;
    std::uint32_t tempo = 0;  // Tempo: microseconds per quarter note
};

// Walks the events of one track chunk in order. Nothing is read before it has
// been checked to lie inside the chunk.
class TrackCursor {
public:
    TrackCursor(const unsigned char* bytes, std::size_t begin, std::size_t end) : bytes(bytes), p(begin), end(end) {}

    // The next event, or false after the end mark or the chunk's last byte.
    // Throws Malformed.
    bool next(TrackEvent& event) {
        if (ended || p >= end) return false;
        tick += quantity();  // the time of every event counts, played or not
        if (p >= end) throw Malformed{"a track ends inside an event"};
        event = TrackEvent{};
        event.tick = tick;

        unsigned char status = bytes[p];
        if (status >= 0x80)
            ++p;
        else if (running != 0)
            status = running;
        else
            throw Malformed{"a data byte with no status before it"};

        if (status == 0xff) {
            if (p >= end) throw Malformed{"a track ends inside an event"};
            const unsigned char type = bytes[p++];
            const std::uint32_t length = payload();
            if (type == 0x51) {
                if (length != 3)
                    throw Malformed{"a tempo change of " + std::to_string(length) + (length == 1 ? " byte" : " bytes") +
                                    " (it takes 3)"};
                event.kind = TrackEvent::Kind::Tempo;
                event.tempo = (std::uint32_t(bytes[p]) << 16) | (std::uint32_t(bytes[p + 1]) << 8) | bytes[p + 2];
            }
            ended = type == 0x2f;
            p += length;
            running = 0;  // meta and system-exclusive events end running status
        } else if (status == 0xf0 || status == 0xf7) {
            p += payload();
            running = 0;
        } else if (status > 0xf0) {
            throw Malformed{"a system message that has no place in a file"};
        } else {
            running = status;
            const int count = dataBytes(status);
            if (static_cast<std::size_t>(count) > end - p) throw Malformed{"a track ends inside an event"};
            for (int i = 0; i < count; ++i)
                if (bytes[p + static_cast<std::size_t>(i)] >= 0x80) throw Malformed{"a status byte where data was expected"};
            event.kind = TrackEvent::Kind::Channel;
            event.status = status;
            event.data1 = bytes[p];
            event.data2 = count == 2 ? bytes[p + 1] : 0;
            p += static_cast<std::size_t>(count);
        }
        return true;
    }

private:
    std::uint32_t quantity() {
        std::uint32_t value = 0;
        for (int i = 0; i < kLongestQuantity; ++i) {
            if (p >= end) throw Malformed{"a track ends inside an event"};
            const unsigned char byte = bytes[p++];
            value = (value << 7) | (byte & 0x7f);
            if ((byte & 0x80) == 0) return value;
        }
        throw Malformed{"a number longer than four bytes"};
    }

    // The length of a meta or system-exclusive event, checked against the chunk.
    std::uint32_t payload() {
        const std::uint32_t length = quantity();
        if (length > end - p) throw Malformed{"a track ends inside an event"};
        return length;
    }

    const unsigned char* bytes;
    std::size_t p, end;
    std::uint64_t tick = 0;
    unsigned char running = 0;
    bool ended = false;
};

// Ticks to seconds through the tempo changes met so far; they arrive in tick
// order because the tracks are merged by tick.
class TempoMap {
public:
    explicit TempoMap(int ticksPerQuarter) : ticksPerQuarter(ticksPerQuarter) {}

    double seconds(std::uint64_t tick) const {
        return segmentSeconds + static_cast<double>(tick - segmentTick) * static_cast<double>(tempo) /
                                    (1.0e6 * static_cast<double>(ticksPerQuarter));
    }
    void change(std::uint64_t tick, std::uint32_t microsecondsPerQuarter) {
        segmentSeconds = seconds(tick);
        segmentTick = tick;
        tempo = microsecondsPerQuarter;
    }

private:
    int ticksPerQuarter;
    std::uint64_t segmentTick = 0;
    double segmentSeconds = 0.0;
    std::uint32_t tempo = kDefaultTempo;
};

struct Layout {
    int ticksPerQuarter = 0;
    std::vector<std::pair<std::size_t, std::size_t>> tracks;  // each track chunk's data: begin, end
};

// The header and where each track chunk lies. Chunks of other kinds are skipped,
// as the format asks.
Layout layoutOf(const unsigned char* bytes, std::size_t size) {
    if (size < 14 || std::memcmp(bytes, "MThd", 4) != 0) throw Malformed{"no MIDI header"};
    const std::uint32_t headerLength = bigEndian32(bytes + 4);
    if (headerLength < 6 || headerLength > size - 8) throw Malformed{"bad MIDI header length"};
    const int format = (bytes[8] << 8) | bytes[9];
    const int declaredTracks = (bytes[10] << 8) | bytes[11];
    if (format != 0 && format != 1)
        throw Malformed{"format " + std::to_string(format) + "; only formats 0 and 1 can be played"};
    if (bytes[12] & 0x80) throw Malformed{"timed in SMPTE frames, which is not supported"};
    Layout layout;
    layout.ticksPerQuarter = (bytes[12] << 8) | bytes[13];
    if (layout.ticksPerQuarter == 0) throw Malformed{"zero ticks per quarter note"};
    if (format == 0 && declaredTracks != 1) throw Malformed{"format 0 with more than one track"};

    std::size_t at = 8 + headerLength;
    while (at < size) {
        if (size - at < 8) throw Malformed{"stray bytes after the last chunk"};
        const std::uint32_t length = bigEndian32(bytes + at + 4);
        const bool track = std::memcmp(bytes + at, "MTrk", 4) == 0;
        at += 8;
        if (length > size - at) throw Malformed{"a chunk runs past the end of the file"};
        if (track) layout.tracks.emplace_back(at, at + length);
        at += length;
    }
    if (layout.tracks.size() != static_cast<std::size_t>(declaredTracks))
        throw Malformed{"the header promises " + std::to_string(declaredTracks) + " tracks, the file has " +
                        std::to_string(layout.tracks.size())};
    return layout;
}

Timeline timelineOf(const unsigned char* bytes, std::size_t size) {
    const Layout layout = layoutOf(bytes, size);

    // The channel events are counted first and the list made at its final
    // size: a long file holds millions, and a list grown by doubling would
    // take up to three times their room while it moves.
    std::size_t channelEvents = 0;
    for (const auto& [begin, end] : layout.tracks) {
        TrackCursor cursor(bytes, begin, end);
        TrackEvent event;
        while (cursor.next(event))
            if (event.kind == TrackEvent::Kind::Channel) ++channelEvents;
    }
    constexpr std::uint32_t kMostRepeats = std::numeric_limits<decltype(TimedEvent::repeats)>::max();
    Timeline timeline;
    // Room for the releases of notes still held at the end too: one event for
    // each key at most, more only for a key held beyond kMostRepeats times.
    timeline.events.reserve(channelEvents + 16 * 128 + channelEvents / kMostRepeats);

    // The tracks merged by tick, each track's own order kept, the lower track
    // first at equal ticks: one pending event per track in a heap.
    std::vector<TrackCursor> cursors;
    std::vector<TrackEvent> pending(layout.tracks.size());
    cursors.reserve(layout.tracks.size());
    struct Next {
        std::uint64_t tick;
        std::size_t track;
    };
    auto later = [](const Next& a, const Next& b) { return a.tick != b.tick ? a.tick > b.tick : a.track > b.track; };
    std::priority_queue<Next, std::vector<Next>, decltype(later)> queue(later);
    for (std::size_t t = 0; t < layout.tracks.size(); ++t) {
        cursors.emplace_back(bytes, layout.tracks[t].first, layout.tracks[t].second);
        if (cursors[t].next(pending[t])) queue.push({pending[t].tick, t});
    }

    TempoMap tempo(layout.ticksPerQuarter);
    // Notes still held when the file ends are released there, so a file that
    // forgets a note-off does not ring until the tail limit.
    std::array<std::array<std::uint32_t, 128>, 16> held{};
    while (!queue.empty()) {
        const std::size_t t = queue.top().track;
        queue.pop();
        const TrackEvent event = pending[t];
        if (cursors[t].next(pending[t])) queue.push({pending[t].tick, t});

        // The piece ends with its last event of any kind, the end marks included.
        timeline.lengthSeconds = tempo.seconds(event.tick);
        if (event.kind == TrackEvent::Kind::Tempo) tempo.change(event.tick, event.tempo);
        if (event.kind != TrackEvent::Kind::Channel) continue;

        TimedEvent timed;
        timed.seconds = timeline.lengthSeconds;
        timed.status = event.status;
        timed.data1 = event.data1;
        timed.data2 = event.data2;
        timeline.events.push_back(timed);

        const int channel = event.status & 0x0f;
        const unsigned char kind = event.status & 0xf0;
        const bool noteOn = kind == 0x90 && event.data2 > 0;
        const bool noteOff = kind == 0x80 || (kind == 0x90 && event.data2 == 0);
        if (noteOn) ++held[channel][event.data1];
        if (noteOff && held[channel][event.data1] > 0) --held[channel][event.data1];
    }

    for (int channel = 0; channel < 16; ++channel)
        for (int key = 0; key < 128; ++key)
            for (std::uint32_t left = held[channel][key]; left > 0;) {
                TimedEvent off;
                off.seconds = timeline.lengthSeconds;
                off.status = static_cast<unsigned char>(0x80 | channel);
                off.data1 = static_cast<unsigned char>(key);
                off.data2 = 64;
                off.repeats = static_cast<std::uint16_t>(std::min(left, kMostRepeats));
                left -= off.repeats;
                timeline.events.push_back(off);
            }
    return timeline;
}

}  // namespace

Timeline parseMidiFile(const unsigned char* bytes, std::size_t size, const std::string& name) {
    try {
        return timelineOf(bytes, size);
    } catch (const Malformed& fault) {
        throw ToolError(name + ": not a readable MIDI file (" + fault.why + ")");
    }
}

Timeline readMidiFile(const std::string& path) {
    std::FILE* in = std::fopen(path.c_str(), "rb");
    if (!in) throw ToolError("cannot open " + path + ": " + std::strerror(errno));
    std::vector<unsigned char> file;
    // Read into its final size where the size is known (not for a pipe).
    struct stat info {};
    if (::fstat(::fileno(in), &info) == 0 && S_ISREG(info.st_mode) && info.st_size > 0) {
        if (static_cast<std::uint64_t>(info.st_size) > kLargestFile) {
            std::fclose(in);
            throw ToolError(path + ": too large for a MIDI file");
        }
        file.reserve(static_cast<std::size_t>(info.st_size));
    }
    unsigned char buffer[65536];
    std::size_t got = 0;
    while (file.size() <= kLargestFile && (got = std::fread(buffer, 1, sizeof(buffer), in)) > 0)
        file.insert(file.end(), buffer, buffer + got);
    const bool failed = std::ferror(in) != 0;
    std::fclose(in);
    if (failed) throw ToolError("cannot read " + path);
    if (file.size() > kLargestFile) throw ToolError(path + ": too large for a MIDI file");
    return parseMidiFile(file.data(), file.size(), path);
}
