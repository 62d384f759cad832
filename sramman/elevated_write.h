#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <functional>
#include <string>

#include "card/job_progress.h"

class QProcess;

namespace velwin::sramman {

class LinkJobBar;

// A card write that the window cannot do with its own rights, handed to
// velwin-cli run as root by the system's launcher (pkexec, which asks for
// an administrator's password through polkit). The window itself never
// runs as root.
struct ElevatedWriteRequest {
  QString launcher;      // pkexec, or what VELWIN_ELEVATE names
  QString cli;           // velwin-cli, by its absolute path (polkit allows that one)
  QString port;          // the port description the window uses
  QString backupFolder;  // the user's own card backup folder
  bool unlock = false;   // the user agreed to clear lock bits
  QString image;
};

// The launcher's words: velwin-cli card write with its progress stream and
// the user's backup folder, the image last.
QStringList ElevatedWriteArguments(const ElevatedWriteRequest& request);

// The same write for a terminal, where no launcher exists: "sudo
// velwin-cli card write --port ppdev --backup-dir '/home/ada/...' -- 'x.gb'",
// each word quoted for a shell where it needs it.
QString SudoWriteCommand(const ElevatedWriteRequest& request);

// Runs the elevated write and follows it: its progress on the job bar, its
// lines in the log, and Cancel (or Escape and closing the window, once the
// user agreed to stop) asks it to stop at its next bank. Returns once the launcher has ended,
// having logged how the write ended, in plain words for each way it can end.
class ElevatedWrite : public QObject {
  Q_OBJECT

 public:
  using Log = std::function<void(const std::string& utf8)>;

  ElevatedWrite(LinkJobBar& bar, Log log);
  ~ElevatedWrite() override;

  // Whether the card was written and verified.
  bool Run(const ElevatedWriteRequest& request);
  // Whether velwin-cli said it had begun to erase or program.
  bool ChangedCard() const { return changedCard_; }

 private:
  void ReadOutput();
  void ReadErrors();
  void HandleLine(const QByteArray& line);
  void AskToStop();
  void Conclude(int exitCode, bool crashed);

  LinkJobBar& bar_;
  Log log_;
  QProcess* process_ = nullptr;  // a child of this object while a write runs
  bool reading_ = false;
  bool heard_ = false;        // velwin-cli itself has spoken: the launcher let it run
  bool changedCard_ = false;  // an erase or a program has begun
  bool stopAsked_ = false;
  bool haveResult_ = false;
  bool verified_ = false;
  bool failedToStart_ = false;
  QString startError_;
  QString backup_;
  std::string unitName_;  // the JobProgress in hand points into it
  card::JobProgress progress_;
};

}  // namespace velwin::sramman
