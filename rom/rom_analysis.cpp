#include "rom/rom_analysis.h"

#include <span>

#include "encoding/windows1252.h"
#include "fileio/byte_file.h"
#include "fileio/file_error.h"
#include "rom/file_name_part.h"
#include "rom/header_info.h"
#include "rom/stripped_size.h"

namespace velwin::rom {

RomAnalyser::RomAnalyser(RomInfoLabels& labels, StatusLine& status)
    : labels_(labels), status_(status) {}

RomAnalysis RomAnalyser::AnalyseRomFile(const std::string& path, bool ShowStatus) {
  // The labels and the status line hold 8-bit text; file names arrive as
  // UTF-8.
  const std::string name = encoding::Utf8ToWindows1252(FileNamePart(path));
  if (ShowStatus) {
    status_.SetText("Accessing " + name + " ... ");
    status_.RepaintNow();
  }
  labels_.fname = name;
  buffer_.fill(0);

  RomAnalysis result;
  try {
    // Read-only: analysing must work on a write-protected ROM as well.
    auto file = fileio::ByteFile::Open(path, fileio::ByteFile::Access::kRead);
    const std::int64_t size = file.Size();
    labels_.fsize = std::to_string(size);
    result.fileSize = size;

    const std::size_t got = file.Read(buffer_);
    result.bytesRead += got;
    if (got == buffer_.size()) {
      // The open file serves the stripped size too. A read failing there
      // only means the file cannot be measured; the analysis still stands.
      std::int64_t stripped = 0;
      try {
        stripped = StrippedSizeOf(file, size, result.bytesRead);
      } catch (const fileio::FileError&) {
        stripped = 0;
      }
      file.Close();
      labels_.fssize = std::to_string(stripped);
      result.strippedSize = stripped;
      result.ok = true;
    }
  } catch (const fileio::FileError& error) {
    result.ok = false;
    result.systemError = error.code();
  }

  if (ShowStatus) {
    status_.SetText(status_.Text() + (result.ok ? " OK" : " ERROR"));
    status_.RepaintNow();
  }
  result.isGameBoyRom = ShowHeaderInfo();
  return result;
}

bool RomAnalyser::ShowHeaderInfo() {
  return WriteHeaderLabels(buffer_, labels_);
}

}  // namespace velwin::rom
