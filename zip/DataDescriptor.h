#pragma once
// Where the data of an entry streamed with a data descriptor ends, when no
// central record says so. The sizes and CRC that follow the data come in a
// 32-bit or a 64-bit form, with or without a signature; a reading is taken
// only when it agrees with the data in front of it, so that a Zip64
// descriptor is never read as a 32-bit one.
#include <cstdint>
#include <functional>

#include "platform/FileStream.h"
#include "zip/ZipRecords.h"

namespace qm {

struct TDataDescriptor {
    uint32_t crc32 = 0;
    int64_t compressedSize = 0;
    int64_t uncompressedSize = 0;
    int length = 0;  // bytes on disk, signature included
};

// Finds the descriptor behind the data of entry (as its local header was
// read), which starts at dataStart in a stream of size bytes. Deflated and
// stored entries are checked against their data: the CRC and both sizes
// must agree. Encrypted entries and other methods, whose data cannot be
// checked here, are checked by their compressed size and by a record
// following the descriptor. The 64-bit form comes first when the local
// header carries a Zip64 block. progress is called between chunks read (it
// may throw to cancel). False when no reading agrees.
bool FindDataDescriptor(TStream& in, const TZipHeaderInfo& entry, int64_t dataStart, int64_t size,
                        const std::function<void()>& progress, TDataDescriptor& found);

}  // namespace qm
