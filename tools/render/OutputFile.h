// A file written under a temporary name in its destination folder and renamed
// over the destination only when complete, so that a failed or interrupted run
// never leaves a half-written file where the user asked for one.
#pragma once

#include <string>

class OutputFile {
public:
    // Creates the temporary file beside path; throws ToolError when the folder is
    // not writable or path names a folder.
    explicit OutputFile(const std::string& path);
    ~OutputFile();  // removes the temporary file unless committed
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    // Descriptor of the temporary file, open for writing.
    int descriptor() const { return fd; }
    // Hands the descriptor over to a library that will close it itself.
    int releaseDescriptor();
    // Writes all bytes; throws ToolError on a short write.
    void write(const void* data, std::size_t size);
    // Closes the temporary file (if still open) and renames it to the destination.
    void commit();

    const std::string& path() const { return destination; }
    const std::string& temporaryPath() const { return temporary; }

private:
    std::string destination;
    std::string temporary;
    int fd = -1;
    bool committed = false;
};
