#pragma once

#include <cstdint>
#include <string>

#include "fileio/byte_file.h"

namespace velwin::rom {

// The size of a stripped-size block.
inline constexpr std::int64_t kStripBlock = 32768;

// The stripped size of the file: the smallest multiple P of 32,768, at least
// 32,768, such that every byte from P to the end has one value; 0 when the
// file cannot be read. Works backwards from the end of the file.
// bytesRead, when given, receives the number of bytes it read.
std::int64_t StrippedSize(const std::string& path, std::uint64_t* bytesRead = nullptr);

// The stripped size of an open file of the given size, worked out backwards
// from its end: the filler is the value of the last byte, and the result is
// the block after the last 32 KiB block (past the first) that holds any other
// value. Never reads the first block. Reads with read() in pieces that grow
// with the filler found, so it reads the trailing filler, the block that
// ends it, and at most as much again as the filler (and no more than half a
// MiB) below that. Adds what it read to bytesRead. Throws fileio::FileError
// when a read fails or the file turns out shorter than size.
std::int64_t StrippedSizeOf(fileio::ByteFile& file, std::int64_t size, std::uint64_t& bytesRead);

}  // namespace velwin::rom
