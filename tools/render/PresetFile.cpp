#include "tools/render/PresetFile.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>


namespace {

constexpr std::int32_t fourChar(char a, char b, char c, char d) {
    return static_cast<std::int32_t>((std::uint32_t(std::uint8_t(a)) << 24) | (std::uint32_t(std::uint8_t(b)) << 16) |
                                     (std::uint32_t(std::uint8_t(c)) << 8) | std::uint32_t(std::uint8_t(d)));
}

constexpr std::int32_t kContainerMagic = fourChar('C', 'c', 'n', 'K');
constexpr std::int32_t kPresetChunkMagic = fourChar('F', 'P', 'C', 'h');
constexpr std::int32_t kBankChunkMagic = fourChar('F', 'B', 'C', 'h');
constexpr std::int32_t kPresetParamsMagic = fourChar('F', 'x', 'C', 'k');
constexpr std::int32_t kBankParamsMagic = fourChar('F', 'x', 'B', 'k');

constexpr std::size_t kNameBytes = 28;
// Header up to and including the chunk size field.
constexpr std::size_t kPresetHeaderBytes = 7 * 4 + kNameBytes + 4;  // 60
constexpr std::size_t kBankHeaderBytes = 7 * 4 + 128 + 4;           // 160

void putInt(std::vector<unsigned char>& out, std::int32_t value) {
    const auto bits = static_cast<std::uint32_t>(value);
    for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<unsigned char>(bits >> shift));
}

std::int32_t getInt(const std::vector<unsigned char>& in, std::size_t offset) {
    std::uint32_t bits = 0;
    for (int i = 0; i < 4; ++i) bits = (bits << 8) | in[offset + i];
    return static_cast<std::int32_t>(bits);
}

}  // namespace

std::string fourCharText(std::int32_t id) {
    std::string text;
    for (int shift = 24; shift >= 0; shift -= 8) {
        const char c = static_cast<char>((static_cast<std::uint32_t>(id) >> shift) & 0xff);
        if (c < 0x20 || c > 0x7e) return std::to_string(id);
        text += c;
    }
    return "'" + text + "'";
}

std::vector<unsigned char> encodePresetFile(const PresetFile& file) {
    const bool bank = file.kind == PresetFile::Kind::Bank;
    const std::size_t header = bank ? kBankHeaderBytes : kPresetHeaderBytes;
    std::vector<unsigned char> out;
    out.reserve(header + file.chunk.size());
    putInt(out, kContainerMagic);
    putInt(out, static_cast<std::int32_t>(header + file.chunk.size() - 8));  // bytes after this field
    putInt(out, bank ? kBankChunkMagic : kPresetChunkMagic);
    putInt(out, bank ? 2 : 1);  // format version: banks of version 2 carry the current program
    putInt(out, file.pluginId);
    putInt(out, file.pluginVersion);
    putInt(out, file.count);
    if (bank) {
        putInt(out, file.currentProgram < 0 ? 0 : file.currentProgram);
        out.insert(out.end(), 124, 0);
    } else {
        unsigned char name[kNameBytes] = {};
        std::memcpy(name, file.programName.data(), std::min(file.programName.size(), kNameBytes - 1));
        out.insert(out.end(), name, name + kNameBytes);
    }
    putInt(out, static_cast<std::int32_t>(file.chunk.size()));
    out.insert(out.end(), file.chunk.begin(), file.chunk.end());
    return out;
}

std::string parsePresetFile(const unsigned char* data, std::size_t size, const PresetFile::Expected& expected,
                            PresetFile& file) {
    const bool bank = expected.kind == PresetFile::Kind::Bank;
    const std::string what = bank ? "bank" : "preset";
    const std::vector<unsigned char> bytes(data, data + size);

    if (bytes.size() < 12 || getInt(bytes, 0) != kContainerMagic)
        return "not a VST " + what + " file (no 'CcnK' header)";
    const std::int32_t magic = getInt(bytes, 8);
    if (magic == (bank ? kPresetChunkMagic : kBankChunkMagic) || magic == (bank ? kPresetParamsMagic : kBankParamsMagic))
        return std::string("is a ") + (bank ? "preset (.fxp)" : "bank (.fxb)") + " file, not a " + what +
               " file";
    if (magic == (bank ? kBankParamsMagic : kPresetParamsMagic))
        return "is a " + what + " of parameter values, not of a plug-in state chunk";
    if (magic != (bank ? kBankChunkMagic : kPresetChunkMagic))
        return "unknown " + what + " type " + fourCharText(magic);

    const std::size_t header = bank ? kBankHeaderBytes : kPresetHeaderBytes;
    if (bytes.size() < header) return "truncated header (" + std::to_string(bytes.size()) + " bytes)";

    file = PresetFile{};
    file.kind = expected.kind;
    const std::int32_t version = getInt(bytes, 12);
    if (version < 1 || version > 2) return "unsupported format version " + std::to_string(version);
    file.pluginId = getInt(bytes, 16);
    if (file.pluginId != expected.pluginId)
        return "made for the plug-in with ID " + fourCharText(file.pluginId) + ", not " +
               fourCharText(expected.pluginId);
    file.pluginVersion = getInt(bytes, 20);
    file.count = getInt(bytes, 24);
    const char* counted = bank ? "program" : "parameter";
    if (file.count < 0) return std::string("negative ") + counted + " count";
    if (expected.count > 0 && file.count != expected.count)
        return "a " + std::string(counted) + " count of " + std::to_string(file.count) + ", not " +
               std::to_string(expected.count);
    if (bank) {
        file.currentProgram = version >= 2 ? getInt(bytes, 28) : -1;
        if (version >= 2 && (file.currentProgram < 0 || (file.count > 0 && file.currentProgram >= file.count)))
            return "current program " + std::to_string(file.currentProgram) + " is not in the bank";
    } else {
        const char* name = reinterpret_cast<const char*>(bytes.data() + 28);
        file.programName.assign(name, strnlen(name, kNameBytes));
    }

    const std::int32_t chunkSize = getInt(bytes, header - 4);
    if (chunkSize < 0) return "negative chunk size";
    const std::size_t available = bytes.size() - header;
    if (static_cast<std::size_t>(chunkSize) > available)
        return "truncated: the chunk needs " + std::to_string(chunkSize) + " bytes, the file holds " +
               std::to_string(available);
    if (static_cast<std::size_t>(chunkSize) < available)
        return std::to_string(available - static_cast<std::size_t>(chunkSize)) +
               " stray bytes after the chunk";
    // The container's own length must agree too: a file whose header lies about
    // its size was written by something that cannot be trusted with the rest.
    const std::int32_t byteCount = getInt(bytes, 4);
    if (byteCount < 0 || static_cast<std::size_t>(byteCount) + 8 != bytes.size())
        return "header says " + std::to_string(static_cast<long long>(byteCount) + 8) +
               " bytes, the file has " + std::to_string(bytes.size());
    // A whole bank's block packed as a preset is not one program.
    if (expected.chunkBytes != 0 && available != expected.chunkBytes)
        return "its " + std::to_string(available) + "-byte state is not " +
               (bank ? "this plug-in's bank" : "one program") + " (" + std::to_string(expected.chunkBytes) +
               " bytes)";
    file.chunk.assign(bytes.begin() + static_cast<std::ptrdiff_t>(header), bytes.end());
    return {};
}
