#include "tools/render/OutputFile.h"

#include <pthread.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <cstring>

#include "tools/render/ToolError.h"

namespace {

std::string folderOf(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

std::string baseName(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string failure(const std::string& path, int error) { return "cannot write " + path + ": " + std::strerror(error); }

const char* kindOf(mode_t mode) {
    if (S_ISDIR(mode)) return "a folder";
    if (S_ISCHR(mode)) return "a character device";
    if (S_ISBLK(mode)) return "a block device";
    if (S_ISFIFO(mode)) return "a FIFO";
    if (S_ISSOCK(mode)) return "a socket";
    return "not a regular file";
}

// The temporary files of outputs not yet committed, where a signal handler can
// reach them: fixed storage, a slot published only once its name is complete.
// The tool has a few outputs at most (audio, preset, bank).
constexpr int kSlots = 8;
char temporaryNames[kSlots][PATH_MAX];
std::atomic<bool> slotUsed[kSlots];
static_assert(std::atomic<bool>::is_always_lock_free, "read from a signal handler");

int claimSlot(const std::string& name) {
    if (name.size() >= PATH_MAX) return -1;
    for (int i = 0; i < kSlots; ++i) {
        if (slotUsed[i].load(std::memory_order_acquire)) continue;
        std::memcpy(temporaryNames[i], name.c_str(), name.size() + 1);
        slotUsed[i].store(true, std::memory_order_release);
        return i;
    }
    return -1;
}

void releaseSlot(int slot) {
    if (slot >= 0) slotUsed[slot].store(false, std::memory_order_release);
}

// Holds back every signal of this thread while a temporary file is created and
// its name stored, so that no signal falls between the two.
class SignalsHeld {
public:
    SignalsHeld() {
        sigset_t all;
        sigfillset(&all);
        pthread_sigmask(SIG_BLOCK, &all, &previous);
    }
    ~SignalsHeld() { pthread_sigmask(SIG_SETMASK, &previous, nullptr); }
    SignalsHeld(const SignalsHeld&) = delete;
    SignalsHeld& operator=(const SignalsHeld&) = delete;

private:
    sigset_t previous;
};

// Only in the tests' build of the tool: the handler stops the process on entry,
// so that a test can send more signals while it is inside.
#ifdef HAMMERLYN2_RENDER_STOP_IN_SIGNAL_HANDLER
constexpr bool kStopInHandler = true;
#else
constexpr bool kStopInHandler = false;
#endif

// Runs with every signal blocked, so that a second one (timeout and others
// send two) cannot end the process before the files are gone. Then the
// signal's own action is put back, the signal raised again and unblocked: the
// process ends as the sender meant.
extern "C" void removeTemporariesAndEnd(int signal) {
    if (kStopInHandler) ::raise(SIGSTOP);
    for (int i = 0; i < kSlots; ++i)
        if (slotUsed[i].load(std::memory_order_acquire)) ::unlink(temporaryNames[i]);
    struct sigaction original {};
    original.sa_handler = SIG_DFL;
    sigemptyset(&original.sa_mask);
    ::sigaction(signal, &original, nullptr);
    ::raise(signal);
    sigset_t own;
    sigemptyset(&own);
    sigaddset(&own, signal);
    ::pthread_sigmask(SIG_UNBLOCK, &own, nullptr);
}

// An existing file is replaced only if its owner may write it, or when told
// to: judged by the mode, which holds for root too.
void checkReplaceable(const std::string& path, const std::string& target, bool replaceReadOnly) {
    struct stat info {};
    if (replaceReadOnly || ::stat(target.c_str(), &info) != 0) return;
    if ((info.st_mode & S_IWUSR) == 0)
        throw ToolError("cannot write " + path + ": it is read-only (--force replaces it)");
}

struct Identity {
    dev_t device;
    ino_t inode;
    std::string name;  // for a file not there yet: its name in the folder identified
    bool operator==(const Identity&) const = default;
};

std::optional<Identity> identityOf(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) return std::nullopt;
    return Identity{info.st_dev, info.st_ino, {}};
}

std::optional<Identity> outputIdentity(const std::string& path) {
    const std::string target = resolveOutputPath(path);
    if (auto existing = identityOf(target)) return existing;
    auto folder = identityOf(folderOf(target));
    if (folder) folder->name = baseName(target);
    return folder;
}

}  // namespace

std::string resolveOutputPath(const std::string& path) {
    if (path.empty()) throw ToolError("empty output file name");
    std::string current = path;
    for (int links = 0;; ++links) {
        struct stat info {};
        if (::lstat(current.c_str(), &info) != 0) {
            if (errno == ENOENT) return current;  // created on commit
            throw ToolError(failure(path, errno));
        }
        if (S_ISREG(info.st_mode)) return current;
        if (!S_ISLNK(info.st_mode)) throw ToolError("cannot write " + path + ": it is " + kindOf(info.st_mode));
        if (links == 40) throw ToolError(failure(path, ELOOP));
        char target[PATH_MAX];
        const ssize_t length = ::readlink(current.c_str(), target, sizeof(target));
        if (length < 0) throw ToolError(failure(path, errno));
        if (static_cast<std::size_t>(length) >= sizeof(target)) throw ToolError(failure(path, ENAMETOOLONG));
        const std::string next(target, static_cast<std::size_t>(length));
        // A relative target is relative to the folder that holds the link.
        current = next[0] == '/' ? next : folderOf(current) + "/" + next;
    }
}

void checkOutputsAgainstInputs(const std::vector<std::string>& outputs, const std::vector<std::string>& inputs,
                               bool replaceReadOnly) {
    std::vector<std::pair<Identity, std::string>> seen;
    for (const std::string& input : inputs)
        if (auto identity = identityOf(input)) seen.emplace_back(*identity, "the input " + input);
    for (const std::string& output : outputs) {
        checkReplaceable(output, resolveOutputPath(output), replaceReadOnly);
        const auto identity = outputIdentity(output);
        if (!identity) continue;  // its folder is missing: creating it will say so
        for (const auto& [other, what] : seen)
            if (other == *identity) throw ToolError("cannot write " + output + ": it is the same file as " + what);
        seen.emplace_back(*identity, "the output " + output);
    }
}

std::optional<unsigned long long> freeBytesFor(const std::string& path) {
    struct statvfs info {};
    if (::statvfs(folderOf(resolveOutputPath(path)).c_str(), &info) != 0) return std::nullopt;
    return static_cast<unsigned long long>(info.f_bavail) * info.f_frsize;
}

void removeTemporaryFilesOnSignals() {
    std::vector<int> signals = {SIGHUP,  SIGINT,  SIGQUIT, SIGILL,  SIGTRAP, SIGABRT,   SIGBUS,  SIGFPE,
                                SIGSEGV, SIGUSR1, SIGUSR2, SIGPIPE, SIGALRM, SIGTERM,   SIGXCPU, SIGXFSZ,
                                SIGVTALRM, SIGPROF, SIGSYS, SIGIO};
#ifdef SIGSTKFLT
    signals.push_back(SIGSTKFLT);
#endif
#ifdef SIGPWR
    signals.push_back(SIGPWR);
#endif
    for (int s = SIGRTMIN; s <= SIGRTMAX; ++s) signals.push_back(s);

    struct sigaction action {};
    action.sa_handler = removeTemporariesAndEnd;
    sigfillset(&action.sa_mask);
    for (int s : signals) {
        // A signal the tool was started with ignored (nohup, a background job)
        // stays ignored; one a sanitizer runtime watches stays with it.
        struct sigaction current {};
        if (::sigaction(s, nullptr, &current) == 0 && current.sa_handler == SIG_DFL &&
            (current.sa_flags & SA_SIGINFO) == 0)
            ::sigaction(s, &action, nullptr);
    }
}

OutputFile::OutputFile(const std::string& path, bool replaceReadOnly)
    : destination(path), resolved(resolveOutputPath(path)) {
    checkReplaceable(path, resolved, replaceReadOnly);
    struct stat old {};
    const bool replacing = ::stat(resolved.c_str(), &old) == 0;
    // A short hidden name in the target's folder: the final rename never
    // crosses file systems, and a target name of the longest length a folder
    // takes still has room beside it.
    std::string name = folderOf(resolved) + "/.hammerlyn2-XXXXXX";
    {
        const SignalsHeld held;
        fd = ::mkstemp(name.data());
        if (fd >= 0) {
            temporary = name;
            slot = claimSlot(temporary);
        }
    }
    if (fd < 0) throw ToolError(failure(path, errno));
    // mkstemp creates the file private to its owner. A replaced file keeps its
    // owner, group and permissions, where the tool may give them; a new one
    // gets the permissions any newly created file would get.
    mode_t mode = 0;
    if (replacing) {
        mode = old.st_mode & 0777;
        if (::fchown(fd, old.st_uid, old.st_gid) != 0 && ::fchown(fd, static_cast<uid_t>(-1), old.st_gid) != 0)
            // Another group than the old file's: it gets no more than others do.
            mode = (mode & ~static_cast<mode_t>(S_IRWXG)) | ((mode & S_IRWXO) << 3);
    } else {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        mode = 0666 & ~mask;
    }
    ::fchmod(fd, mode);
}

OutputFile::~OutputFile() {
    if (fd >= 0) ::close(fd);
    if (!committed && !temporary.empty()) ::unlink(temporary.c_str());
    releaseSlot(slot);
}

void OutputFile::write(const void* data, std::size_t size) {
    const auto* bytes = static_cast<const unsigned char*>(data);
    while (size > 0) {
        const ssize_t written = ::write(fd, bytes, size);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) throw ToolError(failure(destination, written < 0 ? errno : ENOSPC));
        bytes += written;
        size -= static_cast<std::size_t>(written);
    }
}

void OutputFile::commit() {
    // What the file system has not stored yet can still fail (a full disk, a
    // quota, an I/O error): only a file known to be whole replaces the old one.
    if (::fsync(fd) != 0) throw ToolError(failure(destination, errno));
    const int closing = fd;
    fd = -1;
    if (::close(closing) != 0) throw ToolError(failure(destination, errno));
    if (::rename(temporary.c_str(), resolved.c_str()) != 0) throw ToolError(failure(destination, errno));
    committed = true;
    releaseSlot(slot);
    slot = -1;
}
