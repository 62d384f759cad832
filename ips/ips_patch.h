#pragma once

#include <string>

namespace velwin::ips {

inline constexpr const char* kInvalidIpsResult = "Invalid IPS file - patcing aborted.";

// Applies the IPS file to the ROM file in place and returns the text to
// show: kInvalidIpsResult for a wrong signature (the ROM is not opened), or
// "N patches applied to \"NAME\"". Stops at a record header whose offset
// bytes read "EOF". A patch that grows the ROM reserves the room first:
// when the disk cannot hold the patched ROM it throws fileio::FileError
// ("Disk full") before any write, and the ROM stays as it was. Any other
// failed open, read, write or close throws fileio::FileError; records
// written before it stay written.
std::string ApplyIpsPatch(const std::string& ipsPath, const std::string& romPath);

}  // namespace velwin::ips
