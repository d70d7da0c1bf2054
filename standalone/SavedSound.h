// What the standalone application keeps between runs, in the user's
// configuration folder ($XDG_CONFIG_HOME or ~/.config on Linux, %APPDATA% on
// Windows, each with a Hammerlyn2 folder): the sound (the formats' versioned
// state text: program and bank) and the last audio choices.
#pragma once

#include <string>

#include "standalone/AudioDriver.h"

class Instrument;

namespace SavedSound {

// The folder, made where missing; empty when there is no home to put it in.
// problem says why a folder that is named cannot be used (a file of that
// name, no permission): then nothing can be kept, and saving fails.
std::string folder(std::string& problem);

// Restores the sound saved last. A file that is not a state this instrument
// wrote is refused: moved aside (sound.state.damaged, numbered where taken)
// and never written over, the factory bank stays, and message says so. A
// file that cannot be read at all (no permission, a dangling link, not a
// regular file) is left where it is: savePath becomes a free name beside it,
// where this run's sound goes, and message says where. False with an empty
// message when there is no file yet.
bool load(Instrument& instrument, const std::string& path, std::string& message, std::string& savePath);
// Writes the current sound whole: a new file of a name of its own, created
// exclusively (no link followed), flushed to the disk, then renamed over the
// old one; removed again when anything fails.
bool save(Instrument& instrument, const std::string& path);

// The last audio choices (missing fields stay as they are).
void loadChoice(const std::string& path, AudioChoice& choice);
bool saveChoice(const std::string& path, const AudioChoice& choice);

}  // namespace SavedSound
