#pragma once

#include <cstdint>
#include <string>

namespace velwin::fileio {

// Whether the byte at offset of the open file is in the page cache: a read
// that may not wait for the disk gets it. False also where the file system
// cannot read without waiting.
bool ByteInPageCache(int fd, std::int64_t offset);

// Whether reading the regular file at path is likely to wait for no disk: its
// last byte and one byte a MiB are in the page cache. False when the file is
// missing or not a regular file. A sample, not every page: asking about
// every page costs a tenth of reading them. The first byte is asked about
// first, and the asking stops at the first byte missing; the kernel may
// start reading that byte's neighbourhood ahead, as it would for the header
// read that comes next.
bool LooksWhollyCached(const std::string& path);

}  // namespace velwin::fileio
