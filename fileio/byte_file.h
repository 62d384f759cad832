#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <utility>

namespace velwin::fileio {

// An open file of bytes, closed when it goes out of scope. Every operation
// that fails throws FileError with the system's error number.
//
// Only regular files are opened for reading: a directory, FIFO or device
// fails the open with EACCES ("File access denied") instead of blocking or
// reading forever. Create() also accepts a character device, so that writing
// to /dev/full reports "Disk full" as a full disk would.
class ByteFile {
 public:
  enum class Access { kRead, kReadWrite };

  // Opens an existing file; never creates or truncates it.
  static ByteFile Open(const std::string& path, Access access);
  // Creates a file for writing, truncating one that exists.
  static ByteFile Create(const std::string& path);

  ByteFile(ByteFile&& other) noexcept;
  ByteFile& operator=(ByteFile&& other) noexcept;
  ByteFile(const ByteFile&) = delete;
  ByteFile& operator=(const ByteFile&) = delete;
  ~ByteFile();

  std::int64_t Size() const;

  // Reads up to buffer.size() bytes at the current position; returns the
  // count read, less only at the end of the file.
  std::size_t Read(std::span<std::uint8_t> buffer);
  // Reads up to buffer.size() bytes at offset, without moving the position.
  std::size_t ReadAt(std::int64_t offset, std::span<std::uint8_t> buffer);

  // Writes all bytes at the current position. A write that stores fewer
  // bytes than given (a full disk) throws FileError(ENOSPC).
  void Write(std::span<const std::uint8_t> bytes);
  // Writes all bytes at offset in one positioned write where the system
  // allows, without moving the position; a short write throws as Write does.
  void WriteAt(std::int64_t offset, std::span<const std::uint8_t> bytes);
  // Writes at the current position and returns how many bytes were stored;
  // throws only when nothing could be written for a reason other than space.
  std::size_t WriteSome(std::span<const std::uint8_t> bytes);

  void Seek(std::int64_t offset);

  // Closes the file and reports a failed close. The destructor closes
  // silently.
  void Close();

  bool IsOpen() const { return fd_ >= 0; }
  int NativeHandle() const { return fd_; }
  // The path the file was opened by; every FileError it throws names it,
  // unless NameErrorsAfter gave another name.
  const std::string& Path() const { return path_; }
  // The name FileErrors of this file give from now on: for a temporary file
  // that is gone once the error is reported, the folder it was in.
  void NameErrorsAfter(std::string name) { errorName_ = std::move(name); }

 private:
  ByteFile(int fd, std::string path) : fd_(fd), path_(std::move(path)) {}
  const std::string& ErrorName() const { return errorName_.empty() ? path_ : errorName_; }
  int fd_ = -1;
  std::string path_;
  std::string errorName_;
};

}  // namespace velwin::fileio
