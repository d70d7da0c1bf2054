#include "tools/render/MidiFileReader.h"

#include <smf.h>

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "tools/render/ToolError.h"

namespace {

// libsmf reports through GLib's log; while it reads, its messages are kept for
// our own one-line error instead of being printed.
class LibsmfMessages {
public:
    LibsmfMessages() {
        handler = g_log_set_handler("libsmf", static_cast<GLogLevelFlags>(G_LOG_LEVEL_MASK | G_LOG_FLAG_FATAL |
                                                                            G_LOG_FLAG_RECURSION),
                                    &LibsmfMessages::keep, this);
        previousDefault = g_log_set_default_handler(&LibsmfMessages::keep, this);
    }
    ~LibsmfMessages() {
        g_log_remove_handler("libsmf", handler);
        g_log_set_default_handler(previousDefault, nullptr);
    }
    LibsmfMessages(const LibsmfMessages&) = delete;
    LibsmfMessages& operator=(const LibsmfMessages&) = delete;

    // The first error libsmf gave, which names the cause; later ones are follow-ups.
    const std::string& first() const { return firstMessage; }

private:
    static void keep(const gchar*, GLogLevelFlags, const gchar* message, gpointer self) {
        auto* messages = static_cast<LibsmfMessages*>(self);
        if (messages->firstMessage.empty() && message) messages->firstMessage = message;
    }
    guint handler = 0;
    GLogFunc previousDefault = nullptr;
    std::string firstMessage;
};

struct SmfDeleter {
    void operator()(smf_t* smf) const { smf_delete(smf); }
};

// Standard MIDI Files of songs are small; anything larger is refused unread.
constexpr std::size_t kLargestFile = 64u << 20;

// Bytes a channel message has, by its status.
int channelMessageLength(unsigned char status) {
    switch (status & 0xf0) {
    case 0xc0:
    case 0xd0:
        return 2;
    default:
        return 3;
    }
}

void putQuantity(std::vector<unsigned char>& out, std::uint32_t value) {
    unsigned char bytes[5];
    int n = 0;
    do {
        bytes[n++] = static_cast<unsigned char>(value & 0x7f);
        value >>= 7;
    } while (value != 0);
    while (n > 1) out.push_back(static_cast<unsigned char>(bytes[--n] | 0x80));
    out.push_back(bytes[0]);
}

void putBigEndian(std::vector<unsigned char>& out, std::size_t at, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) out[at + static_cast<std::size_t>(i)] = static_cast<unsigned char>(value >> (24 - 8 * i));
}

// libsmf trusts the lengths inside a file and stops the process on an
// assertion when a track runs past its chunk or holds an escaped
// system-exclusive event. So the file is walked here first and handed on
// rebuilt: only the header and the track chunks, every event with its own
// status byte, system-exclusive events (which are not played) left out.
// Sets fault to why the file is malformed and returns nothing when it is.
std::vector<unsigned char> rebuiltForLibsmf(const std::vector<unsigned char>& file, std::string& fault) {
    auto be32 = [&](std::size_t at) {
        return (std::uint32_t(file[at]) << 24) | (std::uint32_t(file[at + 1]) << 16) | (std::uint32_t(file[at + 2]) << 8) |
               std::uint32_t(file[at + 3]);
    };
    auto fail = [&](const char* why) {
        fault = why;
        return std::vector<unsigned char>{};
    };
    if (file.size() < 14 || std::memcmp(file.data(), "MThd", 4) != 0) return fail("no MIDI header");
    const std::uint32_t headerLength = be32(4);
    if (headerLength < 6 || headerLength > file.size() - 8) return fail("bad MIDI header length");
    const int format = (file[8] << 8) | file[9];
    const int declaredTracks = (file[10] << 8) | file[11];
    if (format != 0 && format != 1) {
        fault = "format " + std::to_string(format) + "; only formats 0 and 1 can be played";
        return {};
    }
    if (file[12] & 0x80) return fail("timed in SMPTE frames, which is not supported");
    if (file[12] == 0 && file[13] == 0) return fail("zero ticks per quarter note");
    if (format == 0 && declaredTracks != 1) return fail("format 0 with more than one track");
    std::vector<unsigned char> out(file.begin(), file.begin() + 14);
    putBigEndian(out, 4, 6);

    int tracks = 0;
    std::size_t at = 8 + headerLength;
    while (at < file.size()) {
        if (file.size() - at < 8) return fail("stray bytes after the last chunk");
        const std::uint32_t length = be32(at + 4);
        const bool track = std::memcmp(file.data() + at, "MTrk", 4) == 0;
        at += 8;
        if (length > file.size() - at) return fail("a chunk runs past the end of the file");
        const std::size_t end = at + length;
        if (!track) {  // chunks of other kinds are skipped, as the format asks
            at = end;
            continue;
        }
        ++tracks;
        auto quantity = [&](std::size_t& p, std::uint32_t& value) {
            value = 0;
            for (int i = 0; i < 4; ++i) {
                if (p >= end) return false;
                const unsigned char byte = file[p++];
                value = (value << 7) | (byte & 0x7f);
                if ((byte & 0x80) == 0) return true;
            }
            return false;
        };

        const std::size_t chunkStart = out.size();
        out.insert(out.end(), {'M', 'T', 'r', 'k', 0, 0, 0, 0});
        std::uint32_t pendingDelta = 0;  // time of left-out events, carried to the next one
        std::size_t p = at;
        unsigned char running = 0;
        bool ended = false;
        while (p < end && !ended) {
            std::uint32_t delta = 0, size = 0;
            if (!quantity(p, delta) || p >= end) return fail("a track ends inside an event");
            pendingDelta += delta;
            const std::size_t eventStart = p;
            unsigned char status = file[p];
            if (status >= 0x80)
                ++p;
            else if (running != 0)
                status = running;
            else
                return fail("a data byte with no status before it");

            if (status == 0xff) {
                if (p >= end) return fail("a track ends inside an event");
                const unsigned char type = file[p++];
                if (!quantity(p, size) || size > end - p) return fail("a track ends inside an event");
                p += size;
                ended = type == 0x2f;
                putQuantity(out, pendingDelta);
                out.insert(out.end(), file.begin() + static_cast<std::ptrdiff_t>(eventStart),
                           file.begin() + static_cast<std::ptrdiff_t>(p));
                pendingDelta = 0;
                running = 0;
            } else if (status == 0xf0 || status == 0xf7) {
                if (!quantity(p, size) || size > end - p) return fail("a track ends inside a system-exclusive event");
                p += size;
                running = 0;
            } else if (status > 0xf0) {
                return fail("a system message that has no place in a file");
            } else {
                running = status;
                const int data = channelMessageLength(status) - 1;
                if (static_cast<std::size_t>(data) > end - p) return fail("a track ends inside an event");
                putQuantity(out, pendingDelta);
                pendingDelta = 0;
                out.push_back(status);
                for (int i = 0; i < data; ++i) {
                    if (file[p] >= 0x80) return fail("a status byte where data was expected");
                    out.push_back(file[p++]);
                }
            }
        }
        if (!ended) {  // a track without its end mark ends after its last event
            putQuantity(out, pendingDelta);
            out.insert(out.end(), {0xff, 0x2f, 0x00});
        }
        putBigEndian(out, chunkStart + 4, static_cast<std::uint32_t>(out.size() - chunkStart - 8));
        at = end;
    }
    if (tracks != declaredTracks) {
        fault = "the header promises " + std::to_string(declaredTracks) + " tracks, the file has " + std::to_string(tracks);
        return {};
    }
    return out;
}

}  // namespace

Timeline readMidiFile(const std::string& path) {
    std::FILE* in = std::fopen(path.c_str(), "rb");
    if (!in) throw ToolError("cannot open " + path + ": " + std::strerror(errno));
    std::vector<unsigned char> file;
    unsigned char buffer[65536];
    std::size_t got = 0;
    while ((got = std::fread(buffer, 1, sizeof(buffer), in)) > 0 && file.size() <= kLargestFile)
        file.insert(file.end(), buffer, buffer + got);
    const bool failed = std::ferror(in) != 0;
    std::fclose(in);
    if (failed) throw ToolError("cannot read " + path);
    if (file.size() > kLargestFile) throw ToolError(path + ": too large for a MIDI file");
    std::string fault;
    std::vector<unsigned char> rebuilt = rebuiltForLibsmf(file, fault);
    if (!fault.empty()) throw ToolError(path + ": not a readable MIDI file (" + fault + ")");

    std::unique_ptr<smf_t, SmfDeleter> smf;
    std::string libsmfSays;
    {
        LibsmfMessages messages;
        smf.reset(smf_load_from_memory(rebuilt.data(), static_cast<int>(rebuilt.size())));
        libsmfSays = messages.first();
    }
    if (!smf) {
        std::string reason = libsmfSays.empty() ? "not a readable MIDI file" : "not a readable MIDI file (" + libsmfSays + ")";
        for (char& c : reason)
            if (c == '\n' || c == '\r') c = ' ';
        throw ToolError(path + ": " + reason);
    }

    Timeline timeline;
    // Notes still held when the file ends are released there, so a file that
    // forgets a note-off does not ring until the tail limit.
    std::array<std::array<int, 128>, 16> held{};

    smf_rewind(smf.get());
    while (smf_event_t* event = smf_get_next_event(smf.get())) {
        if (smf_event_is_metadata(event) || smf_event_is_sysex(event) || event->midi_buffer_length < 1) continue;
        const unsigned char status = event->midi_buffer[0];
        if (status < 0x80 || status >= 0xf0) continue;  // system common and real-time messages
        const int length = channelMessageLength(status);
        if (event->midi_buffer_length < length) continue;

        TimedEvent timed;
        timed.seconds = event->time_seconds;
        timed.status = status;
        timed.data1 = event->midi_buffer[1] & 0x7f;
        timed.data2 = length == 3 ? event->midi_buffer[2] & 0x7f : 0;
        timeline.events.push_back(timed);

        const int channel = status & 0x0f;
        const bool noteOn = (status & 0xf0) == 0x90 && timed.data2 > 0;
        const bool noteOff = (status & 0xf0) == 0x80 || ((status & 0xf0) == 0x90 && timed.data2 == 0);
        if (noteOn) ++held[channel][timed.data1];
        if (noteOff && held[channel][timed.data1] > 0) --held[channel][timed.data1];
    }

    timeline.lengthSeconds = smf_get_length_seconds(smf.get());
    if (!timeline.events.empty() && timeline.events.back().seconds > timeline.lengthSeconds)
        timeline.lengthSeconds = timeline.events.back().seconds;
    for (int channel = 0; channel < 16; ++channel)
        for (int key = 0; key < 128; ++key)
            for (int n = 0; n < held[channel][key]; ++n) {
                TimedEvent off;
                off.seconds = timeline.lengthSeconds;
                off.status = static_cast<unsigned char>(0x80 | channel);
                off.data1 = static_cast<unsigned char>(key);
                off.data2 = 64;
                timeline.events.push_back(off);
            }
    return timeline;
}
