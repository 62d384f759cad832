#pragma once

#include <cstdint>
#include <ctime>
#include <functional>
#include <span>
#include <string>

namespace velwin::fileio {
class FileError;
}

namespace velwin::card {

// Where the old contents of a card go before a write changes it:
// $XDG_DATA_HOME/velwin/card-backups, or ~/.local/share/velwin/card-backups
// when XDG_DATA_HOME is unset, empty or not absolute (as the XDG rules
// say). getEnv returns null for an unset variable. Empty when neither gives
// a folder.
std::string CardBackupFolder(const std::function<const char*(const char*)>& getEnv);

// Whether the image file lies in the backup folder, so that a write of it is
// a restore and its question says what the backup holds.
bool IsCardBackup(const std::string& imagePath, const std::string& backupFolder);

// The backup's name for a card of cardMbit read at time now (local time):
// "card-2026-12-07-131502-16Mbit.gb".
std::string CardBackupName(std::uint8_t cardMbit, std::time_t now);

// Writes contents to a new file in folder (created when missing) by the
// atomic rule and returns its path. The file is created only where no file
// of its name exists, so it never replaces another backup, not even one
// another program writes at the same moment; a taken name gets "-2", "-3",
// ... The path returned is the file that holds contents. Temporary files
// that killed jobs left in folder go first. Throws fileio::FileError naming
// the file or folder that failed.
std::string WriteCardBackup(const std::string& folder, std::uint8_t cardMbit, std::time_t now,
                            std::span<const std::uint8_t> contents);

// As WriteCardBackup, but when the newest backup in folder already holds
// exactly contents, returns its path and writes nothing: the folder never
// holds the same card twice in a row.
std::string KeepCardBackup(const std::string& folder, std::uint8_t cardMbit, std::time_t now,
                           std::span<const std::uint8_t> contents);

// Why a backup could not be written, in the program's words for the error,
// a plainer cause where those say only "I/O error N", and the file or
// folder concerned: "Disk full (/home/ada/.local/share/velwin/...)".
std::string BackupFailureText(const fileio::FileError& error);

}  // namespace velwin::card
