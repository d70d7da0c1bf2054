#include "tools/render/DemoSong.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

namespace {

constexpr double kBeatsPerMinute = 132.0;
constexpr double kBeatsPerBar = 4.0;
constexpr double kBarsPerSection = 2.0;
constexpr double kSecondsPerBeat = 60.0 / kBeatsPerMinute;
constexpr double kSectionBeats = kBeatsPerBar * kBarsPerSection;
constexpr double kTicksPerBeat = 960.0;
// The closing chord rings on past the last bar line for this many beats.
constexpr double kCodaBeats = 2.0;

// A chord as played: a bass note and four upper tones from low to high.
struct Chord {
    int bass;
    std::array<int, 4> tones;
};

// MIDI key numbers of the voicings (D2 = 38, D4 = 62).
constexpr Chord kDm{38, {50, 57, 62, 65}};
constexpr Chord kC{36, {48, 55, 60, 64}};
constexpr Chord kBb{46, {46 + 7, 58, 62, 65}};
constexpr Chord kA{45, {52, 57, 61, 64}};
constexpr Chord kF{41, {53, 57, 60, 65}};
constexpr Chord kGm{43, {50, 55, 62, 67}};
constexpr Chord kA7{45, {52, 55, 61, 64}};
constexpr Chord kDMajor{38, {50, 57, 62, 66}};  // the closing chord, with a raised third

// How a section plays its chords.
enum class Figure {
    HammeredEighths,     // dulcimer: bass, then the tones up and down in eighths
    HammeredSixteenths,  // dulcimer: light sixteenth-note tremolo across the tones
    HarpSweep,           // harp: eighths up two octaves, every string left ringing
    RolledChords,        // harp: chords spread from the bass up on beats 1 and 3
    FunkStabs,           // short syncopated chord hits over a bass line
    BassAndChords,       // plain accompaniment: bass in halves, soft chords on 1 and 3
    Strummed,            // guitar: down and up strums in eighths
    Fingerpicked,        // lute: thumb on the bass, fingers on the upper tones
};

struct MelodyNote {
    double beat;   // from the section start
    double beats;  // length
    int key;
    int velocity;
};

struct Section {
    Figure figure;
    std::array<Chord, 2> chords;  // one per bar
    std::vector<MelodyNote> melody;
    bool lastChordHeld = false;  // the second bar is one chord rolled and left to ring
};

// The score: one section per factory program, in program order.
const std::array<Section, kDemoSections>& score() {
    static const std::array<Section, kDemoSections> sections{{
        // Dulcimer 1
        {Figure::HammeredEighths, {kDm, kC},
         {{0, 1, 69, 96}, {1, 1, 74, 88}, {2, 1, 77, 92}, {3, 1, 76, 84},
          {4, 1.5, 72, 94}, {5.5, 0.5, 74, 80}, {6, 2, 76, 90}}},
        // Dulcimer 2
        {Figure::HammeredSixteenths, {kBb, kA},
         {{0, 1.5, 77, 96}, {1.5, 0.5, 74, 84}, {2, 2, 70, 90},
          {4, 1, 73, 94}, {5, 1, 76, 88}, {6, 2, 69, 92}}},
        // Dry Harp
        {Figure::HarpSweep, {kDm, kF}, {}},
        // Soft Harp
        {Figure::RolledChords, {kGm, kA},
         {{0, 2, 74, 92}, {2, 1, 70, 84}, {3, 1, 72, 86}, {4, 2, 73, 94}, {6, 2, 69, 88}}},
        // Fonky chords
        {Figure::FunkStabs, {kBb, kC}, {}},
        // DEFAULT
        {Figure::BassAndChords, {kF, kA7},
         {{0, 0.5, 77, 76}, {0.5, 0.5, 76, 64}, {1, 1, 74, 70}, {2, 1, 72, 68}, {3, 1, 69, 66},
          {4, 1, 73, 76}, {5, 1, 76, 70}, {6, 1, 79, 74}, {7, 1, 76, 66}}},
        // Guitar?
        {Figure::Strummed, {kDm, kGm}, {}},
        // Lute or Fish: an A major bar, then a closing D major chord left to ring
        {Figure::Fingerpicked, {kA, kDMajor},
         {{0, 1, 76, 90}, {1, 1, 73, 84}, {2, 1, 69, 84}, {3, 1, 73, 86}, {4, 4 + kCodaBeats, 74, 96}},
         true},
    }};
    return sections;
}

struct Note {
    double beat;  // absolute, from the start of the piece
    double beats;
    int key;
    int velocity;
};

// The notes of one bar of a figure; start is the bar's first beat.
void playBar(Figure figure, const Chord& chord, double start, std::vector<Note>& notes) {
    const auto& t = chord.tones;
    switch (figure) {
    case Figure::HammeredEighths: {
        notes.push_back({start, 2, chord.bass, 100});
        notes.push_back({start + 2, 2, chord.bass + 7, 84});
        constexpr int order[8] = {0, 1, 2, 3, 2, 1, 2, 3};
        for (int i = 0; i < 8; ++i)
            notes.push_back({start + 0.5 * i, 0.75, t[static_cast<std::size_t>(order[i])], i % 2 == 0 ? 78 : 64});
        break;
    }
    case Figure::HammeredSixteenths: {
        notes.push_back({start, 4, chord.bass, 96});
        constexpr int order[4] = {1, 2, 3, 2};
        for (int i = 0; i < 16; ++i)
            notes.push_back({start + 0.25 * i, 0.3, t[static_cast<std::size_t>(order[i % 4])], i % 4 == 0 ? 70 : 54});
        break;
    }
    case Figure::HarpSweep: {
        notes.push_back({start, 4, chord.bass, 96});
        for (int i = 0; i < 8; ++i) {
            const int key = t[static_cast<std::size_t>(i % 4)] + 12 * (i / 4);
            notes.push_back({start + 0.5 * i, 4 - 0.5 * i, key, 72 + 3 * i});
        }
        break;
    }
    case Figure::RolledChords:
        for (double beat : {0.0, 2.0}) {
            notes.push_back({start + beat, 2, chord.bass, 86});
            for (int i = 0; i < 4; ++i)
                notes.push_back({start + beat + 0.09 * (i + 1), 2 - 0.09 * (i + 1), t[static_cast<std::size_t>(i)], 62 + 4 * i});
        }
        break;
    case Figure::FunkStabs: {
        // Sixteenth positions of the hits in the bar: on the one, then pushed off the beat.
        constexpr int hits[6] = {0, 3, 6, 8, 11, 14};
        for (int i = 0; i < 6; ++i)
            for (int k = 1; k < 4; ++k)
                notes.push_back({start + 0.25 * hits[i], 0.2, t[static_cast<std::size_t>(k)], i % 2 == 0 ? 72 : 60});
        notes.push_back({start, 1.4, chord.bass, 80});
        notes.push_back({start + 1.5, 0.4, chord.bass + 12, 68});
        notes.push_back({start + 2.5, 1.4, chord.bass, 76});
        break;
    }
    case Figure::BassAndChords:
        notes.push_back({start, 2, chord.bass, 76});
        notes.push_back({start + 2, 2, chord.bass + 7, 68});
        for (double beat : {0.0, 2.0})
            for (int k = 0; k < 3; ++k) notes.push_back({start + beat, 1.8, t[static_cast<std::size_t>(k)], 44});
        break;
    case Figure::Strummed: {
        // Down on 1, 2, 3 and the and of 3 and 4; up strums in between, lighter.
        constexpr double strums[6] = {0, 1, 1.5, 2.5, 3, 3.5};
        constexpr bool down[6] = {true, true, false, false, true, false};
        const int strings[6] = {chord.bass, t[0], t[1], t[2], t[3], t[2] + 12 - 5};
        for (int s = 0; s < 6; ++s) {
            const double at = start + strums[s];
            const double end = s + 1 < 6 ? start + strums[s + 1] : start + 4;
            for (int i = 0; i < 6; ++i) {
                if (!down[s] && i == 0) continue;  // up strums miss the bass string
                const int string = down[s] ? i : 5 - i;
                const double offset = 0.03 * i;
                notes.push_back({at + offset, end - at - offset, strings[string], (down[s] ? 56 : 40) - 2 * i});
            }
        }
        break;
    }
    case Figure::Fingerpicked: {
        notes.push_back({start, 2, chord.bass, 92});
        notes.push_back({start + 2, 2, chord.bass - 5 >= 28 ? chord.bass - 5 : chord.bass + 7, 86});
        constexpr int order[8] = {1, 2, 3, 2, 1, 2, 3, 2};
        for (int i = 0; i < 8; ++i)
            if (i != 0 && i != 4) notes.push_back({start + 0.5 * i, 1, t[static_cast<std::size_t>(order[i])], 68});
        break;
    }
    }
}

// The closing chord, rolled from the bass up and held through the coda.
void playHeldChord(const Chord& chord, double start, std::vector<Note>& notes) {
    const double held = kBeatsPerBar + kCodaBeats;
    notes.push_back({start, held, chord.bass, 92});
    for (int i = 0; i < 4; ++i)
        notes.push_back({start + 0.06 * (i + 1), held - 0.06 * (i + 1), chord.tones[static_cast<std::size_t>(i)], 72 + 3 * i});
}

}  // namespace

double demoSectionSeconds() { return kSectionBeats * kSecondsPerBeat; }

Timeline demoSong(int programCount) {
    const auto& sections = score();
    std::vector<Note> notes;
    for (std::size_t s = 0; s < sections.size(); ++s) {
        const Section& section = sections[s];
        const double start = kSectionBeats * static_cast<double>(s);
        playBar(section.figure, section.chords[0], start, notes);
        if (section.lastChordHeld)
            playHeldChord(section.chords[1], start + kBeatsPerBar, notes);
        else
            playBar(section.figure, section.chords[1], start + kBeatsPerBar, notes);
        for (const MelodyNote& m : section.melody) notes.push_back({start + m.beat, m.beats, m.key, m.velocity});
    }

    // Times on a grid of ticks, so that a release and the strike it must precede
    // compare equal exactly.
    struct Tick {
        long long on, off;
        int key, velocity;
    };
    std::vector<Tick> ticks;
    for (const Note& note : notes)
        ticks.push_back({std::llround(note.beat * kTicksPerBeat), std::llround((note.beat + note.beats) * kTicksPerBeat),
                         note.key, note.velocity});
    std::stable_sort(ticks.begin(), ticks.end(), [](const Tick& a, const Tick& b) { return a.on < b.on; });
    // A key struck again before its last note ended is released at the new
    // strike, so every release belongs to the note it was meant for.
    for (std::size_t i = 0; i < ticks.size(); ++i)
        for (std::size_t j = i + 1; j < ticks.size(); ++j)
            if (ticks[j].key == ticks[i].key) {
                ticks[i].off = std::min(ticks[i].off, ticks[j].on);
                break;
            }

    struct Placed {
        long long tick;
        int rank;  // at one instant: the program switch, then releases, then strikes
        TimedEvent event;
    };
    std::vector<Placed> placed;
    const double secondsPerTick = kSecondsPerBeat / kTicksPerBeat;
    if (programCount > 1)
        for (int s = 0; s < kDemoSections; ++s) {
            TimedEvent change;
            change.kind = TimedEvent::Kind::Program;
            change.program = static_cast<std::uint16_t>(s % programCount);
            placed.push_back({std::llround(kSectionBeats * kTicksPerBeat) * s, 0, change});
        }
    for (const Tick& note : ticks) {
        if (note.off <= note.on) continue;  // a duplicate strike at the same instant
        TimedEvent on;
        on.status = 0x90;
        on.data1 = static_cast<unsigned char>(note.key);
        on.data2 = static_cast<unsigned char>(note.velocity);
        TimedEvent off = on;
        off.status = 0x80;
        off.data2 = 64;
        placed.push_back({note.on, 2, on});
        placed.push_back({note.off, 1, off});
    }
    std::stable_sort(placed.begin(), placed.end(), [](const Placed& a, const Placed& b) {
        return a.tick != b.tick ? a.tick < b.tick : a.rank < b.rank;
    });
    Timeline timeline;
    for (Placed& p : placed) {
        p.event.seconds = static_cast<double>(p.tick) * secondsPerTick;
        timeline.events.push_back(p.event);
    }
    timeline.lengthSeconds = (kDemoSections * kSectionBeats + kCodaBeats) * kSecondsPerBeat;
    return timeline;
}
