// libFuzzer target: the render tool's Standard MIDI File reader.
//
// Input: the bytes of a file. The reader must answer with a timeline or with
// its one-line error, and nothing else: no read outside the bytes, no other
// exception, no undefined behaviour. A timeline must hold only channel
// messages with 7-bit data, in time order, at finite times from zero, and end
// no earlier than its last event.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>

#include "tools/render/MidiFileReader.h"
#include "tools/render/ToolError.h"

namespace {

void require(bool condition) {
    if (!condition) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Timeline timeline;
    try {
        timeline = parseMidiFile(data, size, "fuzz.mid");
    } catch (const ToolError& error) {
        const std::string message = error.what();
        require(message.rfind("fuzz.mid: ", 0) == 0 && message.find('\n') == std::string::npos);
        return 0;
    }
    require(std::isfinite(timeline.lengthSeconds) && timeline.lengthSeconds >= 0.0);
    double previous = 0.0;
    for (const TimedEvent& event : timeline.events) {
        require(event.kind == TimedEvent::Kind::Midi);
        require(event.status >= 0x80 && event.status < 0xf0 && event.data1 < 0x80 && event.data2 < 0x80);
        require(std::isfinite(event.seconds) && event.seconds >= previous && event.seconds <= timeline.lengthSeconds);
        previous = event.seconds;
    }
    return 0;
}
