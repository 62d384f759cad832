#pragma once

#include <cstdint>

#include "fileio/byte_file.h"

namespace velwin::flash {

// Copies the first length bytes of from to the start of to, or the whole of
// from when it is shorter (the end of the file is no error). Returns the
// count copied. Lets the kernel move the bytes where it can; otherwise goes
// through one 32 KiB buffer, so memory does not grow with the file.
// allowKernelCopy false forces the buffer. A write the disk cannot hold
// throws fileio::FileError ("Disk full"), as does any other failure.
std::int64_t CopyPrefix(fileio::ByteFile& from, fileio::ByteFile& to, std::int64_t length,
                        bool allowKernelCopy = true);

}  // namespace velwin::flash
