#pragma once

#include <cstdint>
#include <ctime>
#include <functional>
#include <span>
#include <string>

namespace velwin::sramman {

// Where a game's save goes before a load replaces it on the cart:
// $XDG_DATA_HOME/velwin/sram-backups, or ~/.local/share/velwin/sram-backups
// when XDG_DATA_HOME is unset, empty or not absolute (as the XDG rules say,
// and as the card backups do). getEnv returns null for an unset variable.
// Empty when neither gives a folder.
std::string SramBackupFolder(const std::function<const char*(const char*)>& getEnv);

// The backup's name for a game (its grid title, in the log's code page) and
// a time (local): "Lantern Keep 2026-12-07-131502.sav". Characters a file
// name cannot carry, or that would hide it, become '_'.
std::string SramBackupName(const std::string& gameTitle, std::time_t now);

// Writes sram to a new file in folder (created when missing) and returns its
// path. The name is claimed first by an exclusive create, so no other file
// is ever replaced, not even one another process made a moment before
// ("-2", "-3", ... are tried); the bytes then go in by the atomic rule.
// Throws fileio::FileError naming the file or folder that failed; nothing is
// left behind then.
std::string WriteSramBackup(const std::string& folder, const std::string& gameTitle,
                            std::time_t now, std::span<const std::uint8_t> sram);

}  // namespace velwin::sramman
