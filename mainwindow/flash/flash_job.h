#pragma once

#include <stdexcept>
#include <string>
#include <vector>

#include "mainwindow/flash/tool_launcher.h"
#include "mainwindow/rom/rom_analysis.h"

namespace velwin::flash {

// The scratch directory under the current directory and the tool, relative
// to the scratch directory.
inline constexpr const char* kScratchDirectory = "paldmi.tmp";
#ifdef _WIN32
// Windows: the command line "..\veltra *.stp" started with WinExec.
inline constexpr const char* kToolProgram = "..\\veltra";
#else
inline constexpr const char* kToolProgram = "../veltra";
#endif
inline constexpr const char* kToolPattern = "*.stp";

// A job that stopped where the user has to act: a ROM that no longer
// analyses as a cartridge image, or a tool that cannot be started. what()
// names the file or program, the cause and what to do.
class FlashJobError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Deletes every copy in the scratch directory under baseDirectory: each
// file whose name is one or more decimal digits followed by ".stp" (so
// "007.stp" too), and nothing else. Passes over names that cannot be
// deleted, and a scratch directory that is missing.
void ClearScratchCopies(const std::string& baseDirectory = ".");

// The flash job: prepares the scratch directory, writes the stripped copy of
// every ROM in list order (analysing each with analyser, status shown, and
// copying the stripped size that analysis measured), then starts the tool
// there. The process's current directory is never changed.
//
// A ROM whose analysis fails or that no longer carries a cartridge header
// stops the job with FlashJobError before anything is handed to the tool;
// the copies written so far are deleted, and status panel 0 keeps that
// analysis's text. A tool that cannot be started throws FlashJobError too,
// after the copies are written; they stay, so the tool can be run by hand.
// Any other failure throws fileio::FileError; copies written before stay and
// the tool is not started.
void RunFlashJob(const std::vector<std::string>& romPaths, rom::RomAnalyser& analyser,
                 ToolLauncher& launcher, const std::string& baseDirectory = ".");

}  // namespace velwin::flash
