#include "tools/render/OutputFile.h"

#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

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

}  // namespace

OutputFile::OutputFile(const std::string& path) : destination(path) {
    if (path.empty()) throw ToolError("empty output file name");
    struct stat info {};
    if (::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode))
        throw ToolError("cannot write " + path + ": it is a folder");
    const std::string folder = folderOf(path);
    // A hidden name in the same folder, so the final rename never crosses file systems.
    temporary = folder + "/." + baseName(path) + ".XXXXXX";
    fd = ::mkstemp(temporary.data());
    if (fd < 0) {
        const int error = errno;
        temporary.clear();
        throw ToolError("cannot write " + path + ": " + std::strerror(error));
    }
    // mkstemp creates the file private to its owner; give the result the
    // permissions any newly created file would get.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    ::fchmod(fd, 0666 & ~mask);
}

OutputFile::~OutputFile() {
    if (fd >= 0) ::close(fd);
    if (!committed && !temporary.empty()) ::unlink(temporary.c_str());
}

int OutputFile::releaseDescriptor() {
    const int released = fd;
    fd = -1;
    return released;
}

void OutputFile::write(const void* data, std::size_t size) {
    const auto* bytes = static_cast<const unsigned char*>(data);
    while (size > 0) {
        const ssize_t written = ::write(fd, bytes, size);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) throw ToolError("cannot write " + destination + ": " + std::strerror(errno));
        bytes += written;
        size -= static_cast<std::size_t>(written);
    }
}

void OutputFile::commit() {
    if (fd >= 0) {
        const int closing = releaseDescriptor();
        if (::close(closing) != 0) throw ToolError("cannot write " + destination + ": " + std::strerror(errno));
    }
    if (::rename(temporary.c_str(), destination.c_str()) != 0)
        throw ToolError("cannot write " + destination + ": " + std::strerror(errno));
    committed = true;
}
