#pragma once

#include <cstdint>
#include <iosfwd>
#include <string>

namespace velwin::fileio {
class FileError;
}

namespace velwin::cli {

// Why a file could not be used, as velwin-cli reports it: the program's own
// words for the system error ("File not found", "File access denied",
// "Disk full", "I/O error N") and, where those words hide the cause, a
// plainer one in brackets: "File access denied (a directory)".
std::string FileFailureReason(const std::string& path, int systemError);

// Why a ROM file failed its analysis: the system error of the open or read
// that failed, or, when systemError is 0, a file of size bytes that ends
// before a Game Boy header does.
std::string AnalysisFailureReason(const std::string& path, int systemError, std::int64_t size);

// A file, folder or port name as text output shows it: UTF-8 whatever bytes
// it is made of, with control characters (below 0x20, and DEL) escaped as
// \n, \t, \r or \xHH, so that a name cannot break a line or drive the
// terminal.
std::string ShownName(const std::string& name);

// One line on err: "velwin-cli: NAME: REASON", the name and the reason (which
// may name other files) as ShownName shows them.
void ReportFileFailure(std::ostream& err, const std::string& path, const std::string& reason);

// The same line for a file error, named by the file it concerns; a bare
// "velwin-cli: REASON" only where no file is known.
void ReportFileError(std::ostream& err, const fileio::FileError& error);

}  // namespace velwin::cli
