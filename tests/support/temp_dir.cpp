#include "tests/support/temp_dir.h"

#include <stdlib.h>

#include <cerrno>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <system_error>

namespace velwin::testing {

void WriteBytes(const std::filesystem::path& path, std::string_view bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  out.close();
  if (!out)
    throw std::runtime_error("cannot write test file " + path.string());
}

void WriteBytes(const std::filesystem::path& path, const Bytes& bytes) {
  WriteBytes(path, std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

Bytes ReadBytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

TempDir::TempDir() {
  // mkdtemp picks a name nobody else holds, so parallel runs of the same
  // test never share a directory.
  std::string name = (std::filesystem::temp_directory_path() / "velwin-XXXXXX").string();
  if (::mkdtemp(name.data()) == nullptr)
    throw std::system_error(errno, std::generic_category(), "mkdtemp " + name);
  path_ = name;
}

TempDir::~TempDir() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

std::string TempDir::File(std::string_view name) const {
  return (path_ / name).string();
}

std::string TempDir::Write(std::string_view name, const Bytes& bytes) const {
  WriteBytes(path_ / name, bytes);
  return File(name);
}

std::string TempDir::Write(std::string_view name, std::string_view bytes) const {
  WriteBytes(path_ / name, bytes);
  return File(name);
}

}  // namespace velwin::testing
