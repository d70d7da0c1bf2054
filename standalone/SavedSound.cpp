#include "standalone/SavedSound.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "StateText.h"
#include "instrument/Instrument.h"

namespace SavedSound {

namespace fs = std::filesystem;

std::string folder() {
    fs::path base;
#if defined(_WIN32)
    if (const char* appData = std::getenv("APPDATA"); appData && *appData) base = appData;
#else
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg == '/')
        base = xdg;
    else if (const char* home = std::getenv("HOME"); home && *home)
        base = fs::path(home) / ".config";
#endif
    if (base.empty()) return {};
    const fs::path dir = base / "Hammerlyn2";
    std::error_code ec;
    fs::create_directories(dir, ec);
    return fs::is_directory(dir, ec) ? dir.string() : std::string();
}

namespace {

bool readFile(const std::string& path, std::string& text) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    std::ostringstream all;
    all << in.rdbuf();
    text = all.str();
    return true;
}

bool writeWhole(const std::string& path, const std::string& text) {
    const std::string temporary = path + ".new";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        if (!out) return false;
        out << text;
        out.flush();
        if (!out) return false;
    }
    std::error_code ec;
    fs::rename(temporary, path, ec);
    return !ec;
}

}  // namespace

bool load(Instrument& instrument, const std::string& path, std::string& message) {
    message.clear();
    std::string text;
    if (!readFile(path, text)) return false;
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    int program = 0;
    unsigned char bank[StateText::kBankBytes];
    if (StateText::decode(text.c_str(), &program, bank) &&
        instrument.restoreState(bank, Instrument::kBankStateBytes, false)) {
        instrument.selectProgram(program);
        return true;
    }
    // Kept for the user under a name no later save takes.
    std::string aside = path + ".damaged";
    std::error_code ec;
    for (int n = 2; fs::exists(aside, ec); ++n) aside = path + ".damaged." + std::to_string(n);
    fs::rename(path, aside, ec);
    message = "the saved sound " + path +
              " is damaged or from another version: factory programs loaded, the file kept as " +
              (ec ? path : aside);
    return false;
}

bool save(Instrument& instrument, const std::string& path) {
    const void* data = nullptr;
    const std::int32_t bytes = instrument.saveState(false, &data);
    return writeWhole(path,
                      StateText::encode(instrument.program(), data, static_cast<std::size_t>(bytes)) + "\n");
}

void loadChoice(const std::string& path, AudioChoice& choice) {
    std::string text;
    if (!readFile(path, text)) return;
    std::istringstream lines(text);
    std::vector<std::string> midi;
    for (std::string line; std::getline(lines, line);) {
        const std::size_t eq = line.find('=');
        if (eq == std::string::npos) continue;
        const std::string key = line.substr(0, eq), value = line.substr(eq + 1);
        if (key == "audio") choice.device = value;
        if (key == "midi") midi.push_back(value);
        if (key == "rate") choice.rate = static_cast<unsigned>(std::strtoul(value.c_str(), nullptr, 10));
        if (key == "buffer") choice.buffer = static_cast<unsigned>(std::strtoul(value.c_str(), nullptr, 10));
    }
    if (!midi.empty()) choice.midiInputs = midi;
}

bool saveChoice(const std::string& path, const AudioChoice& choice) {
    std::string text = "audio=" + choice.device + "\n";
    for (const std::string& m : choice.midiInputs) text += "midi=" + m + "\n";
    if (choice.rate) text += "rate=" + std::to_string(choice.rate) + "\n";
    if (choice.buffer) text += "buffer=" + std::to_string(choice.buffer) + "\n";
    return writeWhole(path, text);
}

}  // namespace SavedSound
