#pragma once

#include <string>

namespace velwin::ips {

inline constexpr const char* kInvalidIpsResult = "Invalid IPS file - patcing aborted.";

// Applies the IPS file to the ROM file in place and returns the text to
// show: kInvalidIpsResult for a wrong signature (the ROM is not opened), or
// "N patches applied to \"NAME\"". Stops at a record header whose offset
// bytes read "EOF". Throws fileio::FileError on a failed open, read, write
// or close; records written before stay written.
std::string ApplyIpsPatch(const std::string& ipsPath, const std::string& romPath);

}  // namespace velwin::ips
