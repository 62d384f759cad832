#pragma once

#include <cstdint>
#include <ctime>
#include <functional>
#include <span>
#include <string>

namespace velwin::card {

// Where the old contents of a card go before a write changes it:
// $XDG_DATA_HOME/velwin/card-backups, or ~/.local/share/velwin/card-backups
// when XDG_DATA_HOME is unset, empty or not absolute (as the XDG rules
// say). getEnv returns null for an unset variable. Empty when neither gives
// a folder.
std::string CardBackupFolder(const std::function<const char*(const char*)>& getEnv);

// The backup's name for a card of cardMbit read at time now (local time):
// "card-2026-12-07-131502-16Mbit.gb".
std::string CardBackupName(std::uint8_t cardMbit, std::time_t now);

// Writes contents to a new file in folder (created when missing) by the
// atomic rule, never over an earlier backup, and returns its path. Throws
// fileio::FileError naming the file or folder that failed.
std::string WriteCardBackup(const std::string& folder, std::uint8_t cardMbit, std::time_t now,
                            std::span<const std::uint8_t> contents);

}  // namespace velwin::card
