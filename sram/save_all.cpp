#include "sram/save_all.h"

#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <filesystem>
#include <optional>

#include "encoding/windows1252.h"
#include "fileio/file_error.h"

namespace velwin::sramman {
namespace {

bool NotInFileNames(char c) {
  const auto byte = static_cast<unsigned char>(c);
  if (byte < 0x20 || byte == 0x7F)
    return true;
  return std::string_view("/\\:*?\"<>|").find(c) != std::string_view::npos;
}

std::string Joined(const std::vector<std::string>& lines, std::size_t from) {
  std::string text;
  for (std::size_t i = from; i < lines.size(); ++i)
    text.append(text.empty() ? "" : " ").append(lines[i]);
  return text;
}

}  // namespace

std::string GameFileStem(std::string_view title) {
  const std::size_t begin = title.find_first_not_of(' ');
  if (begin == std::string_view::npos)
    return {};
  const std::size_t end = title.find_last_not_of(' ');
  // UTF-8 sequences are made of bytes above 0x7F only, so a byte-wise
  // replacement never splits a character.
  std::string text(title.substr(begin, end - begin + 1));
  for (char& c : text) {
    if (NotInFileNames(c))
      c = '_';
  }
  return text;
}

std::string SaveFileName(int row, std::string_view title) {
  // Built by appending: GCC 12 warns falsely (-Wrestrict) about "0" + text.
  std::string name(row < 10 ? 1 : 0, '0');
  name.append(std::to_string(row));
  if (const std::string stem = GameFileStem(title); !stem.empty())
    name.append(" ").append(stem);
  return name + ".sav";
}

int PrepareSaveFolder(const std::string& folder) {
  std::error_code error;
  std::filesystem::create_directories(folder, error);
  // create_directories says "exists" for a file in the way; what stands
  // there decides.
  if (!std::filesystem::is_directory(folder)) {
    if (error && error.value() != EEXIST && error.value() != ENOTDIR)
      return error.value();
    return ENOTDIR;
  }
  // Also refuses a read-only file system, and an immutable folder to root.
  if (::access(folder.c_str(), W_OK | X_OK) != 0)
    return errno;
  return 0;
}

std::vector<GameSave> SaveEveryGame(SramManager& manager, MemorySramView& view,
                                    const std::string& folder) {
  std::vector<GameSave> saves;
  if (!manager.SramGamesListed())
    return saves;
  for (int row = 0; row < view.RowCount(); ++row) {
    GameSave save{row,
                  SaveFileName(row, encoding::Windows1252ToUtf8(view.Cell(0, row))),
                  GameSave::Outcome::kRefused,
                  {}};
    const std::string path = (std::filesystem::path(folder) / save.fileName).string();
    bool chosen = false;
    const auto choose = [&] {
      chosen = true;
      return std::optional<std::string>(path);
    };
    const std::size_t logBefore = view.Log().size();
    view.SelectRow(row);
    try {
      const auto result = manager.SaveMarked(choose);
      save.reason = Joined(view.Log(), logBefore);
      if (chosen)
        save.outcome = result.succeeded ? GameSave::Outcome::kSaved : GameSave::Outcome::kFailed;
      save.fileError = result.fileError;
    } catch (const fileio::FileError& error) {
      save.outcome = GameSave::Outcome::kFailed;
      save.reason = error.what();
      save.fileError = error.code();
    }
    saves.push_back(std::move(save));
  }
  return saves;
}

}  // namespace velwin::sramman
