// MIDI files into timelines: tracks merged through the tempo map, only channel
// messages kept, notes left hanging released, bad files refused in one line.
#include <gtest/gtest.h>

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

// A note that never gets its note-off is released where the file ends; a
// velocity-0 note-on counts as a release.
TEST(renderMidiFileReader, ReleasesNotesStillHeldAtTheEnd) {
    ScratchFolder folder;
    const std::string path = folder.file("hung.mid");
    writeMidiFile(path, 0, 480, 1,
                  {{0, 0, {0x90, 60, 100}},
                   {0, 0, {0x92, 64, 100}},
                   {0, 480, {0x92, 64, 0}},
                   {0, 960, {0xff, 0x2f, 0x00}}});
    const Timeline timeline = readMidiFile(path);
    ASSERT_EQ(timeline.events.size(), 4u);
    const TimedEvent& release = timeline.events.back();
    EXPECT_EQ(release.status, 0x80);
    EXPECT_EQ(release.data1, 60);
    EXPECT_DOUBLE_EQ(release.seconds, 1.0);
    EXPECT_DOUBLE_EQ(timeline.lengthSeconds, 1.0);
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
}

// Whatever a damaged file holds, the reader answers with a timeline or a
// ToolError; it never hands libsmf something that stops the process.
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
