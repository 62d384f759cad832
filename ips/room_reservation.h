#pragma once

#include <cstdint>

#include "fileio/byte_file.h"

namespace velwin::ips {

// Makes sure the file can grow from its current size to newSize before
// anything is written, so that a patch never stops half-way for lack of
// room. The blocks are allocated without changing the file's size; where
// the file system cannot allocate ahead, its free space is checked instead.
// Throws fileio::FileError(ENOSPC) ("Disk full") when the room is not there,
// leaving the file as it was; other failures throw with their own error.
// Nothing is done when newSize is not beyond the current size.
void ReserveRoom(fileio::ByteFile& file, std::int64_t currentSize, std::int64_t newSize);

}  // namespace velwin::ips
