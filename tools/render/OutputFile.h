// A file written under a temporary name in its destination folder and renamed
// over the destination only when complete, so that a failed or interrupted run
// never leaves a half-written file where the user asked for one.
//
// Where an output goes: a regular file is replaced, a new name is created, a
// symbolic link is followed (its target is replaced or, for a dangling link,
// created, and the link stays); anything else that exists (a folder, a device,
// a FIFO, a socket) is refused.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

class OutputFile {
public:
    // Creates the temporary file beside the file path resolves to; throws
    // ToolError when the folder is not writable or path may not be written.
    // A file there whose owner has no write permission is refused unless
    // replaceReadOnly; one that is replaced keeps its permissions and, where
    // the tool may give it, its owner and group.
    explicit OutputFile(const std::string& path, bool replaceReadOnly = false);
    ~OutputFile();  // removes the temporary file unless committed
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    // Descriptor of the temporary file, open for reading and writing; the
    // file keeps it until commit() or the end.
    int descriptor() const { return fd; }
    // Writes all bytes; throws ToolError on a short write.
    void write(const void* data, std::size_t size);
    // Flushes the temporary file to its storage, closes it and renames it to
    // the destination; throws ToolError, the old file left as it was, when any
    // step fails.
    void commit();

    const std::string& path() const { return destination; }
    // The file that commit() replaces: path with its symbolic links followed.
    const std::string& target() const { return resolved; }

private:
    std::string destination;
    std::string resolved;
    std::string temporary;
    int fd = -1;
    int slot = -1;  // where a signal handler finds the temporary file's name
    bool committed = false;
};

// The file an output path will replace, links followed; throws ToolError naming
// path when it exists and is not a regular file.
std::string resolveOutputPath(const std::string& path);

// Refuses, with one line, an output that is the same file as an input or as
// another output (same device and inode after links; for a file not there yet,
// the same name in the same folder). Each output must also pass
// resolveOutputPath, and be writable by its owner unless replaceReadOnly.
// Inputs that do not exist are left to their readers.
void checkOutputsAgainstInputs(const std::vector<std::string>& outputs, const std::vector<std::string>& inputs,
                               bool replaceReadOnly = false);

// Bytes free to an unprivileged writer on the file system that holds the
// output's folder, or nothing when that cannot be asked.
std::optional<unsigned long long> freeBytesFor(const std::string& path);

// From now on every terminating signal that can be caught and is not already
// ignored or handled removes the temporary files of outputs not yet committed,
// and then ends the process by that same signal; signals that come meanwhile
// wait. Built with HAMMERLYN2_RENDER_STOP_IN_SIGNAL_HANDLER defined (the tests'
// copy of the tool), the handler first stops the process (SIGSTOP) until it is
// continued.
void removeTemporaryFilesOnSignals();
