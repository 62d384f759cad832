#pragma once

#include <functional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "flashjob/tool_launcher.h"
#include "rom/rom_analysis.h"

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
  FlashJobError(std::string text, std::string name, std::string reason, bool toolMissing = false)
      : std::runtime_error(std::move(text)),
        name_(std::move(name)),
        reason_(std::move(reason)),
        toolMissing_(toolMissing) {}

  // The file or program concerned, and what went wrong with it and what to
  // do: what() without the name, for reports that put the name first.
  const std::string& name() const { return name_; }
  const std::string& reason() const { return reason_; }
  // The tool is not there at all (rather than there but not runnable).
  bool toolMissing() const { return toolMissing_; }

 private:
  std::string name_;
  std::string reason_;
  bool toolMissing_;
};

// Run by the job after each ROM's analysis and before its copy, with the
// ROM's path; lets a test change the file in between.
using AfterAnalysis = std::function<void(const std::string& path)>;

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
// A ROM whose analysis fails, that no longer carries a cartridge header, or
// whose copy does not get the size its analysis measured (the file changed
// in between) stops the job with FlashJobError before anything is handed to
// the tool; status panel 0 keeps that analysis's text. Any other failure
// before the tool throws fileio::FileError. Either way the copies written so
// far are deleted and the tool is not started: the tool takes every copy it
// finds, and an incomplete set must not reach the card. A tool that cannot
// be started throws FlashJobError too, after the copies are written; they
// stay, so the tool can be run by hand. wholePaths: baseDirectory is a
// folder of the program's choosing (see FlashJobFolder), and that error
// names the tool and its folder by their whole paths.
void RunFlashJob(const std::vector<std::string>& romPaths, rom::RomAnalyser& analyser,
                 ToolLauncher& launcher, const std::string& baseDirectory = ".",
                 const AfterAnalysis& afterAnalysis = {}, bool wholePaths = false);

}  // namespace velwin::flash
