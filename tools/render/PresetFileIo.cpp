#include "tools/render/PresetFileIo.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "tools/render/OutputFile.h"
#include "tools/render/ToolError.h"

PresetFile decodePresetFile(const std::vector<unsigned char>& bytes, PresetFile::Kind expected,
                            std::int32_t pluginId, const std::string& fileName, std::int32_t count) {
    PresetFile file;
    const std::string problem =
        parsePresetFile(bytes.data(), bytes.size(), {expected, pluginId, count, 0}, file);
    if (!problem.empty()) throw ToolError(fileName + ": " + problem);
    return file;
}

PresetFile readPresetFile(const std::string& path, PresetFile::Kind expected, std::int32_t pluginId,
                          std::int32_t count) {
    std::FILE* in = std::fopen(path.c_str(), "rb");
    if (!in) throw ToolError("cannot open " + path + ": " + std::strerror(errno));
    std::vector<unsigned char> bytes;
    unsigned char buffer[65536];
    std::size_t got = 0;
    while ((got = std::fread(buffer, 1, sizeof(buffer), in)) > 0) {
        bytes.insert(bytes.end(), buffer, buffer + got);
        if (bytes.size() > PresetFile::kLargestFile) {
            std::fclose(in);
            throw ToolError(path + ": too large for a preset file");
        }
    }
    const bool failed = std::ferror(in) != 0;
    std::fclose(in);
    if (failed) throw ToolError("cannot read " + path);
    return decodePresetFile(bytes, expected, pluginId, path, count);
}

void writePresetFile(const std::string& path, const PresetFile& file, bool replaceReadOnly) {
    const std::vector<unsigned char> bytes = encodePresetFile(file);
    OutputFile out(path, replaceReadOnly);
    out.write(bytes.data(), bytes.size());
    out.commit();
}
