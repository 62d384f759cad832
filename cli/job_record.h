#pragma once

#include <functional>
#include <iosfwd>
#include <string>

#include "cli/arguments.h"

namespace velwin::cli {

// A card or SRAM command, as main runs it.
using RecordedCommand =
    std::function<int(const Arguments& args, std::ostream& out, std::ostream& err)>;

// Runs the command with its output going on to out and err as always, and
// adds what it said to the job log at logPath: the command line, the port,
// every line it printed, the card it found and how it ended. A run refused
// for its arguments (status 2) is no job and is not kept. A log that cannot
// be written is said on err once, after the command's own output; the
// status stays the command's.
int RunRecorded(const std::string& words, const Arguments& args, std::ostream& out,
                std::ostream& err, const std::string& logPath, const RecordedCommand& command);

// The same, with the entry handed to append, which returns why it could not
// be kept (empty when it was).
using LogAppender = std::function<std::string(const std::string& text)>;
int RunRecorded(const std::string& words, const Arguments& args, std::ostream& out,
                std::ostream& err, const LogAppender& append, const RecordedCommand& command);

// What the command found in the X-Changer ("16 Mbit flash card"), for the
// log's end line; said by the command once it knows.
void NoteCard(const std::string& description);

}  // namespace velwin::cli
