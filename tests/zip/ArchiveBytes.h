#pragma once
// A small, independent reader of archive bytes for the builder's tests: it
// parses the records from the raw file so the tests check the bytes written,
// not the project's own reader.
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "support/TestSupport.h"

namespace qm::test {

inline uint32_t Le16(const std::string& b, size_t at) {
    return static_cast<uint8_t>(b.at(at)) | (static_cast<uint8_t>(b.at(at + 1)) << 8);
}
inline uint32_t Le32(const std::string& b, size_t at) {
    return Le16(b, at) | (Le16(b, at + 2) << 16);
}
inline uint64_t Le64(const std::string& b, size_t at) {
    return Le32(b, at) | (static_cast<uint64_t>(Le32(b, at + 4)) << 32);
}

struct CentralEntry {
    size_t at = 0;  // offset of the central header
    uint32_t versionMadeBy = 0, versionNeeded = 0, flags = 0, method = 0;
    uint32_t dosTime = 0, crc = 0, compressedSize = 0, uncompressedSize = 0;
    uint32_t commentLength = 0, diskStart = 0, internal = 0, external = 0, localOffset = 0;
    std::string name, extra;
};

struct ArchiveView {
    std::string bytes;
    size_t endAt = 0;
    uint32_t entriesOnDisk = 0, totalEntries = 0, centralSize = 0, centralOffset = 0;
    std::string comment;
    bool zip64 = false;
    uint64_t zip64Total = 0;
    std::vector<CentralEntry> entries;

    std::vector<std::string> Names() const {
        std::vector<std::string> names;
        for (const auto& e : entries) names.push_back(e.name);
        return names;
    }
    const CentralEntry& Entry(const std::string& name) const {
        for (const auto& e : entries) {
            if (e.name == name) return e;
        }
        throw std::runtime_error("no entry " + name);
    }
    // The entry's local header fields: {version needed, flags, method, crc,
    // compressed size, uncompressed size, name length, extra length}.
    std::vector<uint32_t> Local(const CentralEntry& e) const {
        const size_t at = e.localOffset;
        if (Le32(bytes, at) != 0x04034B50) throw std::runtime_error("no local header");
        return {Le16(bytes, at + 4),  Le16(bytes, at + 6),  Le16(bytes, at + 8),
                Le32(bytes, at + 14), Le32(bytes, at + 18), Le32(bytes, at + 22),
                Le16(bytes, at + 26), Le16(bytes, at + 28)};
    }
    // The entry's data bytes as stored.
    std::string Data(const CentralEntry& e) const {
        const auto local = Local(e);
        const size_t start = e.localOffset + 30 + local[6] + local[7];
        return bytes.substr(start, e.compressedSize);
    }
};

inline ArchiveView InspectArchive(const std::string& path) {
    ArchiveView view;
    view.bytes = ReadFile(path);
    const std::string& b = view.bytes;
    if (b.size() < 22) throw std::runtime_error("archive too short");
    size_t at = b.size() - 22;
    while (Le32(b, at) != 0x06054B50) {
        if (at == 0) throw std::runtime_error("no end record");
        --at;
    }
    view.endAt = at;
    view.entriesOnDisk = Le16(b, at + 8);
    view.totalEntries = Le16(b, at + 10);
    view.centralSize = Le32(b, at + 12);
    view.centralOffset = Le32(b, at + 16);
    view.comment = b.substr(at + 22, Le16(b, at + 20));
    uint64_t count = view.totalEntries;
    uint64_t offset = view.centralOffset;
    if (at >= 20 && Le32(b, at - 20) == 0x07064B50) {
        view.zip64 = true;
        const size_t z = static_cast<size_t>(Le64(b, at - 20 + 8));
        if (Le32(b, z) != 0x06064B50) throw std::runtime_error("bad Zip64 end record");
        view.zip64Total = Le64(b, z + 32);
        count = view.zip64Total;
        offset = Le64(b, z + 48);
    }
    size_t p = static_cast<size_t>(offset);
    for (uint64_t i = 0; i < count; ++i) {
        if (Le32(b, p) != 0x02014B50) throw std::runtime_error("bad central header");
        CentralEntry e;
        e.at = p;
        e.versionMadeBy = Le16(b, p + 4);
        e.versionNeeded = Le16(b, p + 6);
        e.flags = Le16(b, p + 8);
        e.method = Le16(b, p + 10);
        e.dosTime = Le32(b, p + 12);
        e.crc = Le32(b, p + 16);
        e.compressedSize = Le32(b, p + 20);
        e.uncompressedSize = Le32(b, p + 24);
        const uint32_t nameLength = Le16(b, p + 28);
        const uint32_t extraLength = Le16(b, p + 30);
        e.commentLength = Le16(b, p + 32);
        e.diskStart = Le16(b, p + 34);
        e.internal = Le16(b, p + 36);
        e.external = Le32(b, p + 38);
        e.localOffset = Le32(b, p + 42);
        e.name = b.substr(p + 46, nameLength);
        e.extra = b.substr(p + 46 + nameLength, extraLength);
        view.entries.push_back(e);
        p += 46 + nameLength + extraLength + e.commentLength;
    }
    return view;
}

// Checks an archive with Python's zipfile: testzip passes and, when a
// directory is given, every entry equals the file of that name below it.
inline CommandResult PythonZipCheck(const std::string& archive, const std::string& sourceDir = "") {
    const std::string script =
        "import sys, zipfile, os\n"
        "z = zipfile.ZipFile(sys.argv[1])\n"
        "bad = z.testzip()\n"
        "if bad: sys.exit('bad entry ' + bad)\n"
        "if len(sys.argv) > 2:\n"
        "    for n in z.namelist():\n"
        "        if n.endswith('/'): continue\n"
        "        if z.read(n) != open(os.path.join(sys.argv[2], n), 'rb').read():\n"
        "            sys.exit('differs: ' + n)\n"
        "print(len(z.namelist()))\n";
    std::string command = "python3 -c " + Quote(script) + " " + Quote(archive);
    if (!sourceDir.empty()) {
        command += ' ';
        command += Quote(sourceDir);
    }
    return Run(command);
}

}  // namespace qm::test
