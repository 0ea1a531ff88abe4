#pragma once
// A repair round trip through the whole builder: files made from the input
// are packed, the archive's directory is damaged, an update repairs it, and
// the repaired entries must equal the ones built (bytes, names, directory or
// file, and the attributes of every entry whose central record survived).
// zlib judges the bytes. Slow (files per input); shared by the fuzz target
// and the corpus replay test.
#include <sys/stat.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz/EntryBytes.h"
#include "platform/Exceptions.h"
#include "platform/Format.h"
#include "zip/ZipBuilder.h"
#include "zip/ZipReader.h"

namespace qm::fuzz {

struct TRepairEntry {
    std::string name;
    std::string content;
    uint32_t external = 0;
    uint16_t madeBy = 0;
    bool utf8 = false;
    int64_t centralAt = 0;  // where its central record starts
};

inline std::string ArchiveFileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The entries of a sound archive by name; false when one does not read back.
inline bool ReadEntries(const std::string& path, std::map<std::string, TRepairEntry>& entries,
                        bool& rebuilt) {
    TZipReader reader;
    reader.SetZipName(path);
    reader.OpenArchive();
    rebuilt = reader.Rebuilding();
    const std::string bytes = ArchiveFileBytes(path);
    for (int i = 0; i < reader.Count(); ++i) {
        const TZipHeaderInfo& entry = reader.Entry(i);
        const std::optional<std::string> content = EntryContent(bytes, entry);
        if (!content) return false;
        entries[entry.StoredName()] = {entry.StoredName(),
                                       *content,
                                       entry.ExternalAttributes,
                                       entry.VersionMadeBy,
                                       (entry.GeneralPurposeFlags & 0x0800) != 0,
                                       entry.CentralOffset};
    }
    return true;
}

// Makes the input's files under root: fields after the first two bytes,
// each after a 0x1F byte, are [flags][name] 0x1E [content]; flags bit 0 makes
// a folder, bit 1 a read-only file. Names are raw bytes, made unique.
inline void MakeInputFiles(std::string_view rest, const std::string& root) {
    std::vector<std::string_view> fields;
    for (size_t start = 0; fields.size() < 8;) {
        const size_t end = rest.find('\x1F', start);
        fields.push_back(rest.substr(start, end == std::string_view::npos ? end : end - start));
        if (end == std::string_view::npos) break;
        start = end + 1;
    }
    for (size_t k = 0; k < fields.size(); ++k) {
        std::string_view field = fields[k];
        const uint8_t flags = field.empty() ? 0 : static_cast<uint8_t>(field[0]);
        if (!field.empty()) field.remove_prefix(1);
        const size_t cut = field.find('\x1E');
        std::string name;
        for (char c : field.substr(0, std::min<size_t>(cut, 60))) name += c == '/' || !c ? '_' : c;
        const std::string_view content =
            cut == std::string_view::npos ? std::string_view() : field.substr(cut + 1);
        if (name.empty() || name == "." || name == ".." || name == "new.txt") name += "e";
        name += std::to_string(k);  // unique, and never "." or ".."
        const std::string path = root + name;
        if (flags & 1) {
            ::mkdir(path.c_str(), 0700);
            continue;
        }
        std::ofstream(path, std::ios::binary)
            .write(content.data(), static_cast<std::streamsize>(content.size()));
        if (flags & 2) ::chmod(path.c_str(), 0444);
    }
}

inline void PackFolder(const std::string& archive, const std::string& root,
                       TIncompleteZipMode mode) {
    TZipBuilder zip;
    zip.SetIncompleteZipMode(mode);
    zip.SetRootDir(root);
    zip.FilesList().push_back("*.*");
    zip.SetRelativePaths(true);
    zip.SetRecurse(true);
    zip.SetAddDirEntriesOnRecurse(true);
    zip.SetIncludeReadOnlyFiles(true);
    zip.SetIncludeHiddenFiles(true);
    zip.SetZipName(archive);
    const TZipResult<int32_t> packed = zip.BuildArchive();
    if (!packed) throw Exception(packed.Error().message);
}

// The first byte picks the damage: the directory cut off, one central
// record's signature broken (the second byte picks which), or the end
// record's signature broken. Returns "" when all is well, else what went
// wrong.
inline std::string CheckRepair(const uint8_t* data, size_t size, const std::string& dir) {
    if (size < 2) return {};
    std::filesystem::remove_all(dir);
    const std::string root = dir + "src/";
    std::filesystem::create_directories(root);
    MakeInputFiles(std::string_view(reinterpret_cast<const char*>(data + 2), size - 2), root);
    const std::string archive = dir + "book.zip";
    std::map<std::string, TRepairEntry> built;
    int64_t centralStart = 0;
    try {
        PackFolder(archive, root, izAssumeMulti);
        bool rebuilt = false;
        if (!ReadEntries(archive, built, rebuilt) || rebuilt)
            return "a fresh archive does not read";
        TZipReader reader;
        reader.SetZipName(archive);
        reader.OpenArchive();
        centralStart = reader.EndCentral().CentralDirOffset();
    } catch (const Exception&) {
        return {};  // names the file system refused; nothing was built
    }
    if (built.empty()) return {};

    // Damage the directory; every central record but a broken one survives
    // (none when the directory is cut off).
    std::string bytes = ArchiveFileBytes(archive);
    const size_t endAt = bytes.rfind("PK\x05\x06");
    bool noneSurvives = false;
    int64_t broken = -1;
    switch (data[0] % 3) {
        case 0:
            bytes.resize(static_cast<size_t>(centralStart));
            noneSurvives = true;
            break;
        case 1: {
            std::vector<int64_t> records;
            for (const auto& [name, entry] : built) records.push_back(entry.centralAt);
            std::sort(records.begin(), records.end());
            broken = records[data[1] % records.size()];
            bytes[static_cast<size_t>(broken)] = 'X';
            break;
        }
        default:
            bytes[endAt] = 'X';
            break;
    }
    std::ofstream(archive, std::ios::binary | std::ios::trunc)
        .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    std::filesystem::remove_all(root);
    std::filesystem::create_directories(root);
    std::ofstream(root + "new.txt") << "new";
    try {
        PackFolder(archive, root, izAssumeBad);
    } catch (const Exception& error) {
        return "the repair failed: " + error.Message();
    }
    std::map<std::string, TRepairEntry> repaired;
    bool rebuilt = false;
    if (!ReadEntries(archive, repaired, rebuilt) || rebuilt)
        return "the repaired archive does not read back";
    for (const auto& [name, before] : built) {
        const auto found = repaired.find(name);
        if (found == repaired.end()) return "the repair lost an entry";
        const TRepairEntry& after = found->second;
        if (after.content != before.content) return "the repair changed an entry's bytes";
        if (after.utf8 != before.utf8) return "the repair changed an entry's UTF-8 flag";
        if (!noneSurvives && before.centralAt != broken &&
            (after.external != before.external || after.madeBy != before.madeBy))
            return Format(
                "the repair lost the attributes of an entry whose record survived "
                "(%08X made by %04X, now %08X made by %04X)",
                before.external, before.madeBy, after.external, after.madeBy);
    }
    if (repaired.size() != built.size() + 1) return "the repair added or dropped entries";
    return {};
}

}  // namespace qm::fuzz
