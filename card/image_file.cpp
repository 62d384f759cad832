#include "card/image_file.h"

#include <span>

#include "fileio/byte_file.h"

namespace velwin::card {

std::optional<std::string> ReadImageFile(const std::string& path,
                                         std::vector<std::uint8_t>& image) {
  fileio::ByteFile file = fileio::ByteFile::Open(path, fileio::ByteFile::Access::kRead);
  image.assign(kLargestCardBytes + 1, 0);
  std::size_t total = 0;
  while (total < image.size()) {
    const std::size_t got = file.Read(std::span<std::uint8_t>(image).subspan(total));
    if (got == 0)
      break;
    total += got;
  }
  image.resize(total);
  if (image.empty())
    return std::string("the image is empty");
  if (image.size() > kLargestCardBytes)
    return std::string("the image is larger than the largest card (8 MiB)");
  return std::nullopt;
}

}  // namespace velwin::card
