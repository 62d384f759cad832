#include "sramman/job_log_viewer.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QAction>
#include <QDialogButtonBox>
#include <QFile>
#include <QFontDatabase>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QVBoxLayout>
#include <cerrno>
#include <utility>

#include "fileio/file_error.h"
#include "joblog/job_log_file.h"

namespace velwin::sramman {
namespace {

QString Shown(const std::string& path) {
  return QFile::decodeName(QByteArray::fromStdString(path));
}

QString Refusal(const std::string& path, const QString& why) {
  return Shown(path) + QStringLiteral(": ") + why;
}

}  // namespace

QString JobLogText(const std::string& path, qint64 limit) {
  if (path.empty()) {
    return QStringLiteral("No job log is kept: neither XDG_STATE_HOME nor HOME is absolute.");
  }
  // Non-blocking: a pipe in the log's place must not hang the window.
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) {
    if (errno == ENOENT)
      return QStringLiteral("No job has been recorded yet: ") + Shown(path) +
             QStringLiteral(" does not exist.");
    return Refusal(path, QString::fromStdString(fileio::RuntimeText(errno)));
  }
  QByteArray bytes;
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    return Refusal(path, QStringLiteral("not a regular file"));
  }
  // Only the newest part: the log is kept small, but the file in its place
  // may be anything the user put there.
  const qint64 size = st.st_size;
  const qint64 start = size > limit ? size - limit : 0;
  bytes.resize(size - start);
  qint64 got = 0;
  int readError = 0;
  while (got < bytes.size()) {
    const ssize_t n =
        ::pread(fd, bytes.data() + got, static_cast<std::size_t>(bytes.size() - got), start + got);
    if (n < 0 && errno == EINTR)
      continue;
    if (n < 0)
      readError = errno;
    if (n <= 0)
      break;
    got += n;
  }
  ::close(fd);
  bytes.truncate(got);
  if (readError != 0 && got == 0)
    return Refusal(path, QString::fromStdString(fileio::RuntimeText(readError)));
  if (start > 0) {
    // Cut in the middle of a line: the view starts at the next whole one.
    const qsizetype lineEnd = bytes.indexOf('\n');
    bytes.remove(0, lineEnd < 0 ? bytes.size() : lineEnd + 1);
  }
  if (bytes.isEmpty())
    return QStringLiteral("No job has been recorded yet: ") + Shown(path) +
           QStringLiteral(" is empty.");
  return QString::fromUtf8(bytes);
}

JobLogViewer::JobLogViewer(QWidget* parent, std::string path)
    : QDialog(parent), path_(std::move(path)) {
  setObjectName(QStringLiteral("JobLogViewer"));
  setWindowTitle(QStringLiteral("Job Log - ") + Shown(path_));
  text_ = new QPlainTextEdit(this);
  text_->setObjectName(QStringLiteral("JobLogText"));
  text_->setReadOnly(true);
  text_->setLineWrapMode(QPlainTextEdit::NoWrap);
  text_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
  QPushButton* reload = buttons->addButton(QStringLiteral("Reload"), QDialogButtonBox::ActionRole);
  connect(reload, &QPushButton::clicked, this, &JobLogViewer::Reload);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(text_);
  layout->addWidget(buttons);
  resize(640, 400);
}

void JobLogViewer::Reload() {
  text_->setPlainText(JobLogText(path_, static_cast<qint64>(joblog::kJobLogLimit)));
  text_->verticalScrollBar()->setValue(text_->verticalScrollBar()->maximum());
}

QAction* AddShowLogAction(QMenu* menu, QWidget* window, const std::string& path) {
  menu->addSeparator();
  QAction* action = menu->addAction(QStringLiteral("Show Log"));
  action->setObjectName(QStringLiteral("ShowLog"));
  QObject::connect(action, &QAction::triggered, window, [window, path] {
    auto* viewer = window->findChild<JobLogViewer*>();
    if (viewer == nullptr)
      viewer = new JobLogViewer(window, path);
    viewer->Reload();
    // Not modal: the log stays open beside the window while jobs run.
    viewer->show();
    viewer->raise();
  });
  return action;
}

}  // namespace velwin::sramman
