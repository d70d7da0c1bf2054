#include "tests/support/Xvfb.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <memory>

// What the sanitizers report inside the X client libraries, not in our code.
// LeakSanitizer: memory libxcb and the extensions may keep for the life of the
// process once a display was opened; the panels close every display they
// open. libX11 is not excused: the panel's own records (its GC, its image) are
// allocated there, and a leak of them must show. With Debian 12's libX11 1.8.4
// nothing else of libX11 is reported. ThreadSanitizer: when the server goes away
// under an open editor, libX11 1.8 releases the display's lock in its I/O
// error path and again when the call that met the error returns ("unlock of
// an unlocked mutex" in XSync).
extern "C" __attribute__((visibility("default"))) const char* __lsan_default_suppressions() {
    return "leak:libxcb.so\nleak:libXext.so\nleak:libXtst.so\n";
}
extern "C" __attribute__((visibility("default"))) const char* __tsan_default_suppressions() {
    return "mutex:libX11.so\n";
}

Xvfb::Xvfb(const char* screen) {
    int fds[2];
    if (pipe(fds) != 0) return;
    const std::string fd = std::to_string(fds[1]);
    pid = fork();
    if (pid == 0) {
        close(fds[0]);
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        const int null = open("/dev/null", O_WRONLY);
        dup2(null, 1);
        dup2(null, 2);
        execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", screen, "-nolisten", "tcp",
               "-noreset", static_cast<char*>(nullptr));
        _exit(127);
    }
    close(fds[1]);
    std::string number;
    char c;
    while (pid > 0 && read(fds[0], &c, 1) == 1 && c != '\n') number += c;
    close(fds[0]);
    if (!number.empty()) name = ":" + number;
}

void Xvfb::stop() {
    if (pid > 0) {
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
    }
    pid = -1;
}

namespace {

std::string programName;

class ProgramServer : public ::testing::Environment {
public:
    void SetUp() override {
        server = std::make_unique<Xvfb>();
        programName = server->name;
        if (!programName.empty()) setenv("DISPLAY", programName.c_str(), 1);
    }
    void TearDown() override { server.reset(); }

private:
    std::unique_ptr<Xvfb> server;
};

[[maybe_unused]] auto* const programServer = ::testing::AddGlobalTestEnvironment(new ProgramServer);

}  // namespace

const std::string& Xvfb::programDisplay() { return programName; }
