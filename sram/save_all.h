#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "sram/memory_sram_view.h"
#include "sram/sram_manager.h"

namespace velwin::sramman {

// What became of one listed game in a save of every game.
struct GameSave {
  enum class Outcome { kSaved, kRefused, kFailed };

  int row;
  std::string fileName;  // "NN Title.sav", UTF-8
  Outcome outcome;
  std::string reason;  // the log lines of the attempt, or the file error
  int fileError = 0;   // the system's error when the file failed, else 0
};

// Makes the folder a save of every game writes into, with its parents as
// mkdir -p does, before anything is read from the cart. Returns 0, or the
// system's error: ENOTDIR when the path or a part of it is a file, EACCES
// or EROFS when the folder cannot be written.
int PrepareSaveFolder(const std::string& folder);

// A game's grid text (UTF-8) as a file name: blanks at either end dropped
// (the menu pads names with them) and every character a file name cannot
// hold on Linux or Windows (/ \ : * ? " < > | and control characters)
// replaced by '_'. Empty for a title of blanks.
std::string GameFileStem(std::string_view title);

// The .sav name for a grid row: the row in at least two digits, a blank and
// the grid text (UTF-8) with every character a file name cannot hold on
// Linux or Windows (/ \ : * ? " < > | and control characters) replaced by
// '_'. The menu pads names with blanks, so blanks at either end are dropped;
// a title left empty gives "NN.sav".
std::string SaveFileName(int row, std::string_view title);

// Saves every game that the last analysis listed into folder, one file each,
// as "Save Marked" does (an earlier file of the same name is replaced only by
// a complete one). Selects each row of the view in turn.
std::vector<GameSave> SaveEveryGame(SramManager& manager, MemorySramView& view,
                                    const std::string& folder);

}  // namespace velwin::sramman
