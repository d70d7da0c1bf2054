#include "tools/render/Renderer.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>

#include "tools/render/ToolError.h"

namespace {

// How long the output must stay silent after the song before the render stops.
constexpr double kSilentStretchSeconds = 0.25;

class ProgressLine {
public:
    ProgressLine(bool enabled, double songSeconds) : enabled(enabled), songSeconds(songSeconds) {}
    ~ProgressLine() {
        if (shown) std::fprintf(stderr, "\r%-60s\r", "");
    }
    void update(double renderedSeconds) {
        if (!enabled) return;
        const auto now = std::chrono::steady_clock::now();
        if (shown && now - lastShown < std::chrono::milliseconds(200)) return;
        lastShown = now;
        shown = true;
        if (renderedSeconds <= songSeconds)
            std::fprintf(stderr, "\rRendering %6.1f s of %.1f s (%3.0f%%)", renderedSeconds, songSeconds,
                         songSeconds > 0 ? 100.0 * renderedSeconds / songSeconds : 100.0);
        else
            std::fprintf(stderr, "\rRendering the tail, %6.1f s", renderedSeconds);
        std::fflush(stderr);
    }

private:
    bool enabled;
    double songSeconds;
    bool shown = false;
    std::chrono::steady_clock::time_point lastShown{};
};

}  // namespace

namespace {

std::int64_t songFrames(const Timeline& timeline, double rate) {
    return std::max<std::int64_t>(0, frameAt(timeline.lengthSeconds, rate));
}

}  // namespace

std::int64_t longestRender(const Timeline& timeline, const RenderSettings& settings) {
    const double rate = settings.sampleRate;
    return songFrames(timeline, rate) + static_cast<std::int64_t>(std::llround(settings.tailSeconds * rate));
}

RenderResult renderTimeline(InstrumentHost& host, const Timeline& timeline, const RenderSettings& settings,
                            AudioFileWriter& writer) {
    const double rate = settings.sampleRate;
    const std::int64_t songEnd = songFrames(timeline, rate);
    const std::int64_t hardEnd = longestRender(timeline, settings);
    const std::int64_t silentStretch =
        std::min<std::int64_t>(std::llround(kSilentStretchSeconds * rate), hardEnd - songEnd);

    // The timeline's events are read where they are, in their order: sorted by
    // time, so by frame too. At one frame a program switch comes before the
    // messages, so the notes struck there sound in the new program.
    const std::vector<TimedEvent>& events = timeline.events;
    auto frameOf = [&](std::size_t i) { return std::max<std::int64_t>(0, frameAt(events[i].seconds, rate)); };
    auto isProgram = [&](std::size_t i) { return events[i].kind == TimedEvent::Kind::Program; };

    const auto block = static_cast<std::size_t>(settings.blockSize);
    std::vector<float> left(block), right(block), interleaved(2 * block);
    std::vector<MidiMessage> messages;
    messages.reserve(kMessagesPerList);
    RenderResult result;
    std::int64_t lastLoud = -1;  // last frame at or above the silence level
    std::size_t next = 0;        // first event not yet delivered
    ProgressLine progress(settings.progress, timeline.lengthSeconds);

    std::int64_t position = 0;
    while (position < hardEnd) {
        // Program switches due now, made between blocks as a host makes them.
        for (std::size_t i = next; i < events.size() && frameOf(i) <= position; ++i)
            if (isProgram(i)) {
                host.setProgram(events[i].program);
                for (const auto& [index, value] : settings.heldParameters) host.setParameter(index, value);
            }

        // The block ends early at the next program switch.
        std::int64_t length = std::min<std::int64_t>(static_cast<std::int64_t>(block), hardEnd - position);
        for (std::size_t i = next; i < events.size() && frameOf(i) < position + length; ++i)
            if (isProgram(i) && frameOf(i) > position) {
                length = frameOf(i) - position;
                break;
            }

        // The block's messages, in lists of at most kMessagesPerList.
        for (; next < events.size() && frameOf(next) < position + length; ++next) {
            if (isProgram(next)) continue;  // made above
            const TimedEvent& event = events[next];
            const MidiMessage message{static_cast<VstInt32>(frameOf(next) - position), event.status, event.data1,
                                      event.data2};
            for (int n = 0; n < event.repeats; ++n) {
                if (messages.size() == kMessagesPerList) {
                    host.sendMidi(messages);
                    messages.clear();
                }
                messages.push_back(message);
            }
        }
        host.sendMidi(messages);
        messages.clear();
        host.process(left.data(), right.data(), static_cast<int>(length));

        for (std::int64_t i = 0; i < length; ++i) {
            const float l = left[static_cast<std::size_t>(i)], r = right[static_cast<std::size_t>(i)];
            const float magnitude = std::max(std::fabs(l), std::fabs(r));
            if (magnitude >= kSilence || !std::isfinite(magnitude)) lastLoud = position + i;
        }

        // Once every event is played and the song is over, the render ends a
        // short silent stretch after the last audible frame.
        std::int64_t end = hardEnd;
        if (next >= events.size() && position + length >= songEnd)
            end = std::min(hardEnd, std::max(songEnd, lastLoud + 1) + silentStretch);
        const std::int64_t keep = std::min(length, end - position);

        for (std::int64_t i = 0; i < keep; ++i) {
            const float l = left[static_cast<std::size_t>(i)], r = right[static_cast<std::size_t>(i)];
            interleaved[2 * static_cast<std::size_t>(i)] = l;
            interleaved[2 * static_cast<std::size_t>(i) + 1] = r;
            const float magnitude = std::isfinite(l) && std::isfinite(r) ? std::max(std::fabs(l), std::fabs(r))
                                                                         : INFINITY;
            result.peak = std::max(result.peak, magnitude);
        }
        writer.write(interleaved.data(), static_cast<long>(keep));
        position += keep;
        result.frames = position;
        progress.update(static_cast<double>(position) / rate);
        if (keep < length || position >= end) break;
    }
    return result;
}
