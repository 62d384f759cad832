#include "sramman/elevated_write.h"

#include <QEventLoop>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTimer>
#include <QWidget>
#include <algorithm>

#include "card/card_write_job.h"
#include "encoding/shell_quote.h"
#include "sramman/link_job_bar.h"

namespace velwin::sramman {
namespace {

// pkexec's own ends: the question refused or dismissed (126); not
// authorised, the password wrong or no authentication agent (127).
// velwin-cli never ends with either, and says something first.
constexpr int kNotAuthorised = 126;
constexpr int kCannotAuthorise = 127;

// A word as a POSIX shell reads it back unchanged: plain words as they
// are, anything else quoted as velwin-cli quotes its own restore command.
QString ShellWord(const QString& word) {
  static const QString kPlain =
      QStringLiteral("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789_-+./:=,@%");
  const bool plain = !word.isEmpty() && std::all_of(word.begin(), word.end(),
                                                    [](QChar c) { return kPlain.contains(c); });
  if (plain)
    return word;
  return QString::fromStdString(encoding::ShellQuoted(QFile::encodeName(word).toStdString()));
}

card::JobPhase PhaseNamed(const QString& name) {
  if (name == QLatin1String("backing-up"))
    return card::JobPhase::kBackingUp;
  if (name == QLatin1String("erasing"))
    return card::JobPhase::kErasing;
  if (name == QLatin1String("programming"))
    return card::JobPhase::kProgramming;
  if (name == QLatin1String("verifying"))
    return card::JobPhase::kVerifying;
  if (name == QLatin1String("comparing"))
    return card::JobPhase::kComparing;
  return card::JobPhase::kReading;
}

std::uint64_t Count(const QJsonObject& object, const char* name) {
  const double value = object.value(QLatin1String(name)).toDouble();
  return value > 0 ? static_cast<std::uint64_t>(value) : 0;
}

}  // namespace

QStringList ElevatedWriteArguments(const ElevatedWriteRequest& request) {
  QStringList words{request.cli,
                    QStringLiteral("card"),
                    QStringLiteral("write"),
                    QStringLiteral("--port"),
                    request.port,
                    QStringLiteral("--progress-stream"),
                    QStringLiteral("--backup-dir"),
                    request.backupFolder};
  if (request.unlock)
    words << QStringLiteral("--unlock");
  words << QStringLiteral("--") << request.image;
  return words;
}

QString SudoWriteCommand(const ElevatedWriteRequest& request) {
  QStringList words{QStringLiteral("sudo"),         QStringLiteral("velwin-cli"),
                    QStringLiteral("card"),         QStringLiteral("write"),
                    QStringLiteral("--port"),       ShellWord(request.port),
                    QStringLiteral("--backup-dir"), ShellWord(request.backupFolder)};
  if (request.unlock)
    words << QStringLiteral("--unlock");
  words << QStringLiteral("--") << ShellWord(request.image);
  return words.join(QLatin1Char(' '));
}

ElevatedWrite::ElevatedWrite(LinkJobBar& bar, Log log) : bar_(bar), log_(std::move(log)) {}

ElevatedWrite::~ElevatedWrite() = default;

bool ElevatedWrite::Run(const ElevatedWriteRequest& request) {
  heard_ = changedCard_ = stopAsked_ = haveResult_ = verified_ = failedToStart_ = false;
  backup_.clear();
  startError_.clear();
  progress_ = {};
  QProcess process;
  process_ = &process;
  process.setProgram(request.launcher);
  process.setArguments(ElevatedWriteArguments(request));
  QEventLoop loop;
  connect(&process, &QProcess::readyReadStandardOutput, this, &ElevatedWrite::ReadOutput);
  connect(&process, &QProcess::readyReadStandardError, this, &ElevatedWrite::ReadErrors);
  connect(&process, &QProcess::finished, &loop, &QEventLoop::quit);
  connect(&process, &QProcess::errorOccurred, &loop, [&](QProcess::ProcessError error) {
    if (error != QProcess::FailedToStart)
      return;
    failedToStart_ = true;
    startError_ = process.errorString();
    loop.quit();
  });
  // Cancel, and Escape or closing the window once the user agreed to stop,
  // all ask the bar's control.
  QTimer watch;
  watch.setInterval(50);
  connect(&watch, &QTimer::timeout, this, [this] {
    if (!stopAsked_ && bar_.Control().CancelRequested())
      AskToStop();
  });
  watch.start();
  process.start();
  if (!failedToStart_)
    loop.exec();
  watch.stop();
  if (!failedToStart_) {
    ReadOutput();
    ReadErrors();
  }
  Conclude(process.exitCode(), process.exitStatus() == QProcess::CrashExit);
  process_ = nullptr;
  return verified_;
}

void ElevatedWrite::AskToStop() {
  stopAsked_ = true;
  // The way back that reaches velwin-cli running as root: its input. A
  // signal cannot, from the user's program; it is sent all the same, to a
  // launcher still asking for the password.
  process_->write("cancel\n");
  process_->closeWriteChannel();
  process_->terminate();
}

void ElevatedWrite::ReadOutput() {
  // The bar lets the window's events in, and with them more output: the
  // lines are read here, once.
  if (reading_ || process_ == nullptr)
    return;
  reading_ = true;
  process_->setReadChannel(QProcess::StandardOutput);
  while (process_->canReadLine())
    HandleLine(process_->readLine().trimmed());
  reading_ = false;
}

void ElevatedWrite::ReadErrors() {
  if (process_ == nullptr)
    return;
  process_->setReadChannel(QProcess::StandardError);
  while (process_->canReadLine()) {
    QString line = QString::fromUtf8(process_->readLine().trimmed());
    // Only velwin-cli's own lines say it ran: pkexec says why it refused on
    // this stream too, before it exits with the status that tells how.
    if (line.startsWith(QLatin1String("velwin-cli: "))) {
      heard_ = true;
      line.remove(0, 12);
    }
    if (!line.isEmpty())
      log_(line.toStdString());
  }
  process_->setReadChannel(QProcess::StandardOutput);
}

void ElevatedWrite::HandleLine(const QByteArray& line) {
  const QJsonObject object = QJsonDocument::fromJson(line).object();
  if (object.isEmpty())
    return;
  heard_ = true;
  if (object.contains(QLatin1String("phase"))) {
    progress_.phase = PhaseNamed(object.value(QLatin1String("phase")).toString());
    if (progress_.phase == card::JobPhase::kErasing ||
        progress_.phase == card::JobPhase::kProgramming)
      changedCard_ = true;
    progress_.unit = static_cast<std::uint32_t>(Count(object, "unit"));
    progress_.unitCount = static_cast<std::uint32_t>(Count(object, "units"));
    unitName_ = object.value(QLatin1String("unitName")).toString().toStdString();
    progress_.unitName = unitName_;
    progress_.bytesDone = Count(object, "bytesDone");
    progress_.bytesToDo = Count(object, "bytesToDo");
    progress_.workDone = Count(object, "workDone");
    progress_.workToDo = Count(object, "workToDo");
    bar_.ShowJob(progress_);
  } else if (object.contains(QLatin1String("log"))) {
    const QString text = object.value(QLatin1String("log")).toString();
    if (text.startsWith(QLatin1String(card::kBackupSavedPrefix)))
      backup_ = text.mid(static_cast<int>(qstrlen(card::kBackupSavedPrefix)));
    log_(text.toStdString());
  } else if (object.contains(QLatin1String("verified"))) {
    haveResult_ = true;
    verified_ = object.value(QLatin1String("verified")).toBool();
    if (verified_) {
      log_("Card verified: " + std::to_string(Count(object, "bytes")) + " bytes.");
    }
  }
}

void ElevatedWrite::Conclude(int exitCode, bool crashed) {
  if (failedToStart_) {
    log_(("The administrator rights could not be asked for: " + startError_ +
          ". Nothing was written.")
             .toStdString());
    return;
  }
  if (!heard_ && !crashed && exitCode == kNotAuthorised) {
    log_(
        "The administrator rights were not given: the system's password question was refused "
        "or cancelled. Nothing was written.");
    return;
  }
  if (!heard_ && !crashed && exitCode == kCannotAuthorise) {
    log_(
        "The administrator rights could not be had: the password was not accepted, this user "
        "may not have them, or no program runs that asks for them. Nothing was written.");
    return;
  }
  if (haveResult_)
    return;  // velwin-cli said how it ended, on its error output when not verified
  std::string how = crashed           ? "was killed"
                    : exitCode >= 128 ? "was ended by signal " + std::to_string(exitCode - 128)
                                      : "ended with status " + std::to_string(exitCode);
  std::string text =
      "The write with administrator rights " + how + " before it said how it ended. ";
  if (!changedCard_) {
    text += "It had not changed the card yet.";
  } else if (!backup_.isEmpty()) {
    text += "The card may be part written; the backup " + backup_.toStdString() +
            " holds it as it was (velwin-cli card write BACKUP puts it back).";
  } else {
    text += "The card may be part written.";
  }
  log_(text);
}

}  // namespace velwin::sramman
