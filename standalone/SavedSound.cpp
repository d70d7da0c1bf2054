#include "standalone/SavedSound.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <sstream>

#include "StateText.h"
#include "instrument/Instrument.h"

#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>
#include <process.h>
#include <sys/stat.h>
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace SavedSound {

namespace fs = std::filesystem;

std::string folder(std::string& problem) {
    problem.clear();
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
    if (!fs::is_directory(dir, ec))
        problem = "the settings folder " + dir.string() + " cannot be made (" +
                  (fs::exists(fs::symlink_status(dir, ec)) ? "a file of that name is in the way"
                                                           : "no permission or no room") +
                  "): the sound and the audio choices will not be kept";
    return dir.string();
}

namespace {

// No file yet, the whole text read, or a file there that cannot be read (why says why).
enum class Read { missing, read, refused };

// The saved files are a few kilobytes: anything far larger is no file of ours.
constexpr std::size_t kLargest = 1 << 20;

Read readFile(const std::string& path, std::string& text, std::string& why) {
    text.clear();
#if defined(_WIN32)
    std::error_code ec;
    const fs::file_status link = fs::symlink_status(path, ec);
    if (link.type() == fs::file_type::not_found) return Read::missing;
    if (!fs::is_regular_file(path, ec)) return why = "not a regular file", Read::refused;
    const int fd = _open(path.c_str(), _O_RDONLY | _O_BINARY);
    if (fd < 0) return why = std::strerror(errno), Read::refused;
    char block[4096];
    for (int n; (n = _read(fd, block, sizeof block)) != 0;) {
        if (n < 0) return _close(fd), why = std::strerror(errno), Read::refused;
        text.append(block, static_cast<std::size_t>(n));
        if (text.size() > kLargest) break;
    }
    _close(fd);
#else
    struct stat link {};
    if (lstat(path.c_str(), &link) != 0) {
        if (errno == ENOENT) return Read::missing;
        return why = std::strerror(errno), Read::refused;
    }
    // Not blocking: a FIFO or a device in its place must not hold the start up.
    const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        why = errno == ENOENT  ? "a link to nothing"
              : errno == ELOOP ? "a loop of links"
                               : std::strerror(errno);
        return Read::refused;
    }
    struct stat st {};
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode))
        return close(fd), why = "not a regular file", Read::refused;
    char block[4096];
    for (ssize_t n; (n = read(fd, block, sizeof block)) != 0;) {
        if (n < 0) {
            if (errno == EINTR) continue;
            why = std::strerror(errno);
            close(fd);
            return Read::refused;
        }
        text.append(block, static_cast<std::size_t>(n));
        if (text.size() > kLargest) break;
    }
    close(fd);
#endif
    return Read::read;
}

bool writeAll(int fd, const std::string& text) {
    std::size_t done = 0;
    while (done < text.size()) {
#if defined(_WIN32)
        const int n = _write(fd, text.data() + done, static_cast<unsigned>(text.size() - done));
#else
        const ssize_t n = write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
#endif
        if (n <= 0) return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

bool writeWhole(const std::string& path, const std::string& text) {
    // A name of this process's own: two instances sharing the folder never
    // write into each other's file, and a link planted there is refused.
    static std::atomic<unsigned> serial{0};
#if defined(_WIN32)
    const std::string process = std::to_string(_getpid());
#else
    const std::string process = std::to_string(getpid());
#endif
    for (int attempt = 0; attempt < 16; ++attempt) {
        const std::string temporary = path + ".new-" + process + "-" + std::to_string(serial.fetch_add(1));
#if defined(_WIN32)
        const int fd =
            _open(temporary.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY, _S_IREAD | _S_IWRITE);
        if (fd < 0 && errno == EEXIST) continue;
        if (fd < 0) return false;
        bool ok = writeAll(fd, text) && _commit(fd) == 0;
        ok = _close(fd) == 0 && ok;
        ok = ok &&
             MoveFileExA(temporary.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
        if (!ok) _unlink(temporary.c_str());
        return ok;
#else
        const int fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
        if (fd < 0 && errno == EEXIST) continue;
        if (fd < 0) return false;
        bool ok = writeAll(fd, text) && fsync(fd) == 0;
        ok = close(fd) == 0 && ok;
        ok = ok && std::rename(temporary.c_str(), path.c_str()) == 0;
        if (!ok) {
            unlink(temporary.c_str());
            return false;
        }
        // The rename itself on the disk.
        const std::string dir = fs::path(path).parent_path().string();
        if (const int d = open(dir.empty() ? "." : dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); d >= 0)
            fsync(d), close(d);
        return true;
#endif
    }
    return false;
}

// The first of path.2, path.3 ... that names nothing, not even a dangling link.
std::string freeName(const std::string& path, const char* infix) {
    std::error_code ec;
    std::string name = path + infix;
    for (int n = 2; fs::symlink_status(name, ec).type() != fs::file_type::not_found; ++n)
        name = path + infix + "." + std::to_string(n);
    return name;
}

}  // namespace

bool load(Instrument& instrument, const std::string& path, std::string& message, std::string& savePath) {
    message.clear();
    savePath = path;
    std::string text, why;
    const Read read = readFile(path, text, why);
    if (read == Read::missing) return false;
    if (read == Read::refused) {
        savePath = freeName(path, ".this-run");
        message = "the saved sound " + path + " cannot be read (" + why +
                  "): factory programs loaded; the file is left as it is, and this run's sound will be "
                  "saved as " +
                  savePath;
        return false;
    }
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    int program = 0;
    unsigned char bank[StateText::kBankBytes];
    if (StateText::decode(text.c_str(), &program, bank) &&
        instrument.restoreState(bank, Instrument::kBankStateBytes, false)) {
        instrument.selectProgram(program);
        return true;
    }
    // Kept for the user under a name no later save takes.
    const std::string aside = freeName(path, ".damaged");
    std::error_code ec;
    fs::rename(path, aside, ec);
    if (ec) savePath = freeName(path, ".this-run");
    message = "the saved sound " + path +
              " is damaged or from another version: factory programs loaded, the file kept as " +
              (ec ? path + " (this run's sound will be saved as " + savePath + ")" : aside);
    return false;
}

bool save(Instrument& instrument, const std::string& path) {
    const void* data = nullptr;
    const std::int32_t bytes = instrument.saveState(false, &data);
    return writeWhole(path,
                      StateText::encode(instrument.program(), data, static_cast<std::size_t>(bytes)) + "\n");
}

void loadChoice(const std::string& path, AudioChoice& choice) {
    std::string text, why;
    if (readFile(path, text, why) != Read::read) return;
    std::istringstream lines(text);
    std::vector<std::string> midi;
    for (std::string line; std::getline(lines, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        const std::size_t eq = line.find('=');
        if (eq == std::string::npos) continue;
        const std::string key = line.substr(0, eq), value = line.substr(eq + 1);
        if (key == "audio") choice.device = value;
        if (key == "midi") midi.push_back(value);
        if (key == "rate") choice.rate = static_cast<unsigned>(std::strtoul(value.c_str(), nullptr, 10));
        if (key == "buffer") choice.buffer = static_cast<unsigned>(std::strtoul(value.c_str(), nullptr, 10));
        if (key == "size") choice.size = static_cast<unsigned>(std::strtoul(value.c_str(), nullptr, 10));
    }
    if (!midi.empty()) choice.midiInputs = midi;
}

bool saveChoice(const std::string& path, const AudioChoice& choice) {
    std::string text;
    text += "audio=" + choice.device + "\n";
    for (const std::string& m : choice.midiInputs) text += "midi=" + m + "\n";
    if (choice.rate) text += "rate=" + std::to_string(choice.rate) + "\n";
    if (choice.buffer) text += "buffer=" + std::to_string(choice.buffer) + "\n";
    if (choice.size) text += "size=" + std::to_string(choice.size) + "\n";
    return writeWhole(path, text);
}

}  // namespace SavedSound
