#pragma once

#include <string>
#include <vector>

#include "mainwindow/flash/tool_launcher.h"
#include "mainwindow/rom/rom_analysis.h"

namespace velwin::flash {

// The scratch directory under the current directory and the tool, relative
// to the scratch directory.
inline constexpr const char* kScratchDirectory = "paldmi.tmp";
#ifdef _WIN32
inline constexpr const char* kToolProgram = "..\\veltra";
#else
inline constexpr const char* kToolProgram = "../veltra";
#endif
inline constexpr const char* kToolPattern = "*.stp";

// Deletes 0.stp to 255.stp in the scratch directory under baseDirectory,
// passing over names that are missing or cannot be deleted.
void ClearScratchCopies(const std::string& baseDirectory = ".");

// The flash job: prepares the scratch directory, writes the stripped copy of
// every ROM in list order (analysing each with analyser, status shown, and
// copying the stripped size that analysis measured), then starts the tool
// there. Throws fileio::FileError on the first failure;
// copies written before stay and the tool is not started. The process's
// current directory is never changed.
void RunFlashJob(const std::vector<std::string>& romPaths, rom::RomAnalyser& analyser,
                 ToolLauncher& launcher, const std::string& baseDirectory = ".");

}  // namespace velwin::flash
