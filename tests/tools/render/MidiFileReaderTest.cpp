// MIDI files into timelines: tracks merged through the tempo map, only channel
// messages kept, notes left hanging released, bad files refused in one line.
#include <gtest/gtest.h>

#include <filesystem>

#include "ToolTestSupport.h"
#include "tools/render/MidiFileReader.h"
#include "tools/render/ToolError.h"

namespace {

std::string oneLineError(const std::string& path) {
    try {
        readMidiFile(path);
    } catch (const ToolError& error) {
        return error.what();
    }
    return "accepted";
}

}  // namespace

TEST(renderMidiFileReader, MergesTracksThroughTheTempoMapAndKeepsOnlyChannelMessages) {
    ScratchFolder folder;
    const std::string path = folder.file("song.mid");
    // 100 ticks a quarter; 1 s a quarter, then from tick 200 a quarter of 0.25 s.
    writeMidiFile(path, 1, 100, 3,
                  {{0, 0, tempoEvent(1000000)},
                   {0, 0, {0xff, 0x03, 0x04, 'S', 'o', 'n', 'g'}},  // track name
                   {0, 200, tempoEvent(250000)},
                   {1, 50, {0x91, 60, 100}},
                   {1, 60, {0xf0, 0x7e, 0x7f, 0x09, 0x01, 0xf7}},  // system exclusive
                   {1, 70, {0xff, 0x01, 0x02, 'h', 'i'}},          // text, right after it
                   {2, 100, {0xc3, 12}},                           // program change: two bytes
                   {1, 250, {0x81, 60, 0}},
                   {2, 300, {0xe3, 0x00, 0x50}}});
    const Timeline timeline = readMidiFile(path);
    ASSERT_EQ(timeline.events.size(), 4u);
    const double expected[] = {0.5, 1.0, 2.125, 2.25};
    const unsigned char status[] = {0x91, 0xc3, 0x81, 0xe3};
    for (std::size_t i = 0; i < 4; ++i) {
        EXPECT_DOUBLE_EQ(timeline.events[i].seconds, expected[i]) << i;
        EXPECT_EQ(timeline.events[i].status, status[i]) << i;
        EXPECT_EQ(timeline.events[i].kind, TimedEvent::Kind::Midi);
    }
    EXPECT_EQ(timeline.events[1].data1, 12);
    EXPECT_EQ(timeline.events[1].data2, 0);
    EXPECT_EQ(timeline.events[3].data2, 0x50);
    EXPECT_DOUBLE_EQ(timeline.lengthSeconds, 2.25);
}

// Delta times of one to four bytes, running status, and the time of every
// event the reader drops (system exclusive, its escaped form, meta events, one
// right after the other) all count.
TEST(renderMidiFileReader, EveryDeltaTimeCounts) {
    ScratchFolder folder;
    const std::string path = folder.file("deltas.mid");
    // One tick a quarter at a microsecond a quarter: a tick is a microsecond.
    constexpr int k1 = 0x7f, k2 = k1 + 0x3fff, k3 = k2 + 0x1fffff, k4 = k3 + 0x0fffffff;
    writeMidiFile(path, 0, 1, 1,
                  {{0, 0, tempoEvent(1)},
                   {0, k1, {0x90, 60, 100}},
                   {0, k2, {0xf0, 0x43, 0x10, 0xf7}},
                   {0, k3, {0xff, 0x06, 0x01, 'A'}},  // a marker right after the system exclusive
                   {0, k4, {0x90, 64, 90}},
                   {0, k4 + 1, {64, 0}},  // running status: a release of the note just struck
                   {0, k4 + 2, {0xf7, 0x02, 0x01, 0x02}},
                   {0, k4 + 3, {0x80, 60, 0}}});
    const Timeline timeline = readMidiFile(path);
    ASSERT_EQ(timeline.events.size(), 4u);
    const int ticks[] = {k1, k4, k4 + 1, k4 + 3};
    const unsigned char keys[] = {60, 64, 64, 60}, velocities[] = {100, 90, 0, 0};
    for (std::size_t i = 0; i < 4; ++i) {
        EXPECT_DOUBLE_EQ(timeline.events[i].seconds, ticks[i] * 1e-6) << i;
        EXPECT_EQ(timeline.events[i].data1, keys[i]) << i;
        EXPECT_EQ(timeline.events[i].data2, velocities[i]) << i;
    }
    EXPECT_EQ(timeline.events[2].status, 0x90);
    EXPECT_DOUBLE_EQ(timeline.lengthSeconds, (k4 + 3) * 1e-6);
}

// Every track a header can declare, merged by tick, the earlier track first
// when two meet.
TEST(renderMidiFileReader, MergesTheMostTracksAFileCanHold) {
    ScratchFolder folder;
    const std::string path = folder.file("tracks.mid");
    constexpr int kTracks = 65535;
    auto tickOf = [](int track) { return (track * 7) % 1000; };
    std::vector<MidiFileEvent> events;
    for (int track = 0; track < kTracks; ++track)  // the track's number in a bend's channel and data
        events.push_back({track, tickOf(track),
                          {static_cast<unsigned char>(0xe0 | (track >> 14)), static_cast<unsigned char>(track & 0x7f),
                           static_cast<unsigned char>((track >> 7) & 0x7f)}});
    writeMidiFile(path, 1, 1000, kTracks, events);
    const Timeline timeline = readMidiFile(path);
    ASSERT_EQ(timeline.events.size(), static_cast<std::size_t>(kTracks));

    std::vector<int> expected(kTracks);
    for (int track = 0; track < kTracks; ++track) expected[static_cast<std::size_t>(track)] = track;
    std::stable_sort(expected.begin(), expected.end(), [&](int a, int b) { return tickOf(a) < tickOf(b); });
    for (std::size_t i = 0; i < expected.size(); ++i) {
        const TimedEvent& event = timeline.events[i];
        const int track = ((event.status & 0x0f) << 14) | (event.data2 << 7) | event.data1;
        ASSERT_EQ(track, expected[i]) << "event " << i;
        ASSERT_DOUBLE_EQ(event.seconds, tickOf(track) * 0.0005) << "event " << i;
    }
}

// A note that never gets its note-off is released where the file ends; a
// velocity-0 note-on counts as a release.
TEST(renderMidiFileReader, ReleasesNotesStillHeldAtTheEnd) {
    ScratchFolder folder;
    const std::string path = folder.file("hung.mid");
    writeMidiFile(path, 0, 480, 1,
                  {{0, 0, {0x90, 60, 100}},
                   {0, 0, {0x92, 64, 100}},
                   {0, 480, {0x92, 64, 0}},
                   {0, 500, {0x91, 62, 90}},
                   {0, 500, {0x91, 62, 90}},
                   {0, 960, {0xff, 0x2f, 0x00}}});
    const Timeline timeline = readMidiFile(path);
    // A key struck twice and never let go: one release, sent twice.
    ASSERT_EQ(timeline.events.size(), 7u);
    const TimedEvent& release = timeline.events[5];
    EXPECT_EQ(release.status, 0x80);
    EXPECT_EQ(release.data1, 60);
    EXPECT_EQ(release.repeats, 1);
    EXPECT_DOUBLE_EQ(release.seconds, 1.0);
    EXPECT_EQ(timeline.events[6].status, 0x81);
    EXPECT_EQ(timeline.events[6].repeats, 2);
    EXPECT_DOUBLE_EQ(timeline.lengthSeconds, 1.0);
}

// A 4 MiB file of one note struck again and again at one instant, three bytes
// a strike (running status), never released: the tool rendering it peaks at
// less than 8 times the file's size above a short song, its events held once.
TEST(renderMidiFileReader, ALongFileTakesAFewTimesItsSizeInMemory) {
    ScratchFolder folder;
    std::vector<MidiFileEvent> strikes(1400000, {0, 0, {60, 100}});
    strikes.front().bytes = {0x90, 60, 100};
    writeMidiFile(folder.file("flood.mid"), 0, 480, 1, strikes);
    writeMidiFile(folder.file("short.mid"), 0, 480, 1, {{0, 0, {0x90, 60, 100}}});
    const ToolRun small = runTool({folder.file("short.mid"), "-o", folder.file("short.wav"), "--tail", "0.1"});
    const ToolRun flood = runTool({folder.file("flood.mid"), "-o", folder.file("flood.wav"), "--tail", "0.1"});
    ASSERT_EQ(flood.exitCode, 0) << flood.err;
    const auto kilobytes = static_cast<long>(std::filesystem::file_size(folder.file("flood.mid")) / 1024);
    EXPECT_LE(flood.peakKilobytes - small.peakKilobytes, 8 * kilobytes) << flood.peakKilobytes << " KB";
}

TEST(renderMidiFileReader, BadFilesAreOneLineErrors) {
    ScratchFolder folder;
    EXPECT_EQ(oneLineError(folder.file("absent.mid")),
              "cannot open " + folder.file("absent.mid") + ": No such file or directory");

    writeBytes(folder.file("text.mid"), {'h', 'e', 'l', 'l', 'o', '\n'});
    // A good header whose track runs past the end of the file.
    writeMidiFile(folder.file("good.mid"), 0, 480, 1, {{0, 0, {0x90, 60, 100}}, {0, 480, {0x80, 60, 0}}});
    std::vector<unsigned char> cut = readBytes(folder.file("good.mid"));
    cut.resize(cut.size() - 6);
    writeBytes(folder.file("cut.mid"), cut);
    // Format 2 (independent sequences) has no single timeline to merge into.
    std::vector<unsigned char> format2 = readBytes(folder.file("good.mid"));
    format2[9] = 2;
    writeBytes(folder.file("format2.mid"), format2);

    for (const char* name : {"text.mid", "cut.mid", "format2.mid"}) {
        const std::string message = oneLineError(folder.file(name));
        EXPECT_EQ(message.rfind(folder.file(name) + ": ", 0), 0u) << message;
        EXPECT_EQ(message.find('\n'), std::string::npos) << message;
    }

    // One format 0 track of these bytes, its chunk length as given.
    auto track = [](const std::vector<unsigned char>& events) {
        std::vector<unsigned char> file = {'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 0, 0, 1, 0x01, 0xe0, 'M', 'T', 'r', 'k',
                                           0, 0, 0, static_cast<unsigned char>(events.size())};
        file.insert(file.end(), events.begin(), events.end());
        return file;
    };
    const std::vector<std::pair<std::vector<unsigned char>, std::string>> malformed = {
        {track({0x00, 0xff, 0x51, 0x00}), "a tempo change of 0 bytes (it takes 3)"},
        {track({0x00, 0xff, 0x51, 0x01, 0x00}), "a tempo change of 1 byte (it takes 3)"},
        {track({0x00, 0xff, 0x51, 0x03, 0x07}), "a track ends inside an event"},
        {track({0x80, 0x80, 0x80, 0x80, 0x00, 0x90, 0x3c, 0x64}), "a number longer than four bytes"},
        {track({0x00, 0xf0, 0x05, 0x01, 0xf7}), "a track ends inside an event"},
        {track({0x00, 0xf0, 0x8f, 0xff, 0xff, 0x7f}), "a track ends inside an event"},
        {track({0x00, 0x90, 0x3c, 0x64, 0x00, 0xff, 0x01, 0x00, 0x00, 0x3c, 0x00}), "a data byte with no status"},
        {track({0x00, 0x90, 0x3c, 0x94}), "a status byte where data was expected"},
        {track({0x00, 0xf8}), "a system message that has no place in a file"},
        {track({0x00, 0x90, 0x3c}), "a track ends inside an event"},
    };
    for (const auto& [bytes, reason] : malformed) {
        try {
            parseMidiFile(bytes.data(), bytes.size(), "bad.mid");
            ADD_FAILURE() << reason << ": accepted";
        } catch (const ToolError& error) {
            const std::string message = error.what();
            EXPECT_EQ(message.rfind("bad.mid: not a readable MIDI file (" + reason, 0), 0u) << message;
            EXPECT_EQ(message.find('\n'), std::string::npos) << message;
        }
    }
    // Past 2^31 ticks, where a signed count would turn negative, is only late.
    std::vector<unsigned char> events = {0x00, 0x90, 0x3c, 0x64};
    for (int i = 0; i < 9; ++i)  // the longest delta time, nine times, in running status
        events.insert(events.end(), {0xff, 0xff, 0xff, 0x7f, 0x3c, static_cast<unsigned char>(i % 2 ? 0x64 : 0x00)});
    const std::vector<unsigned char> late = track(events);
    const Timeline timeline = parseMidiFile(late.data(), late.size(), "late.mid");
    ASSERT_EQ(timeline.events.size(), 10u);
    EXPECT_DOUBLE_EQ(timeline.events[9].seconds, 9.0 * 0x0fffffff * 0.5 / 480);
}

// Whatever a damaged file holds, the reader answers with a timeline or a
// ToolError.
TEST(renderMidiFileReader, DamagedFilesNeverStopTheProcess) {
    ScratchFolder folder;
    writeMidiFile(folder.file("good.mid"), 1, 480, 2,
                  {{0, 0, tempoEvent(500000)},
                   {0, 10, {0xff, 0x03, 0x02, 'h', 'i'}},
                   {1, 0, {0x90, 60, 100}},
                   {1, 5, {0xf0, 0x01, 0x02, 0xf7}},
                   {1, 240, {0x90, 60, 0}},
                   {1, 480, {0xb0, 7, 100}},
                   {1, 500, {0xc0, 3}}});
    const std::vector<unsigned char> good = readBytes(folder.file("good.mid"));
    const std::string path = folder.file("damaged.mid");
    int refused = 0;
    auto attempt = [&](const std::vector<unsigned char>& bytes) {
        writeBytes(path, bytes);
        try {
            readMidiFile(path);
        } catch (const ToolError&) {
            ++refused;
        }
    };
    for (std::size_t length = 0; length < good.size(); ++length)
        attempt(std::vector<unsigned char>(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(length)));
    EXPECT_EQ(refused, static_cast<int>(good.size()));  // every cut is noticed
    for (std::size_t at = 0; at < good.size(); ++at)
        for (unsigned char value : {0x00, 0x7f, 0x80, 0xf7, 0xff}) {
            std::vector<unsigned char> bytes(good);
            bytes[at] = value;
            attempt(bytes);
        }
}
