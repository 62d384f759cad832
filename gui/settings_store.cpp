#include "gui/settings_store.h"

#include <QDir>
#include <QRegularExpression>
#include <QSettings>
#include <QStandardPaths>
#include <QStringList>
#include <limits>

namespace velwin::gui {
namespace {

SettingsError InvalidType(const QString& name) {
  return SettingsError("Invalid data type for '" + name.toStdString() + "'");
}

SettingsError NoData(const QString& name) {
  return SettingsError("Failed to get data for '" + name.toStdString() + "'");
}

// "\SOFTWARE\Tessaloc\velwin" -> "SOFTWARE/Tessaloc/velwin".
QString KeyPathToGroup(const QString& path) {
  QStringList parts = QString(path).replace('\\', '/').split('/', Qt::SkipEmptyParts);
  return parts.join('/');
}

// Decimal text as an integer of any size: "Invalid data type" when it is
// not a number at all, "Failed to get data" when it is one but does not fit
// 32 bits, as a registry value of the wrong size would.
std::int32_t ParseInteger(const QString& name, const QString& text) {
  static const QRegularExpression kDecimal(QStringLiteral("^[+-]?[0-9]+$"));
  if (!kDecimal.match(text).hasMatch()) {
    throw InvalidType(name);
  }
  bool fits = false;
  const qlonglong value = text.toLongLong(&fits);
  if (!fits || value < std::numeric_limits<std::int32_t>::min() ||
      value > std::numeric_limits<std::int32_t>::max()) {
    throw NoData(name);
  }
  return static_cast<std::int32_t>(value);
}

bool IsIntegerType(const QVariant& value) {
  switch (value.typeId()) {
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
      return true;
    default:
      return false;
  }
}

// One group of a QSettings store. The registry keeps value types, so a
// string read of a number fails there; an INI file keeps text only, so its
// numbers are told apart by their spelling.
class QtSettingsKey : public SettingsKey {
 public:
  QtSettingsKey(std::unique_ptr<QSettings> settings, bool typed)
      : settings_(std::move(settings)), typed_(typed) {}

  ~QtSettingsKey() override { settings_->sync(); }

  bool ValueExists(const QString& name) const override { return settings_->contains(name); }

  QString ReadString(const QString& name) const override {
    const QVariant value = settings_->value(name);
    if (!value.isValid()) {
      throw NoData(name);
    }
    if (typed_ && IsIntegerType(value)) {
      throw InvalidType(name);
    }
    if (value.typeId() == QMetaType::QStringList) {
      // An INI value with an unquoted comma reads back as a list.
      return value.toStringList().join(QStringLiteral(", "));
    }
    return value.toString();
  }

  std::int32_t ReadInteger(const QString& name) const override {
    const QVariant value = settings_->value(name);
    if (!value.isValid()) {
      throw NoData(name);
    }
    if (IsIntegerType(value)) {
      return ParseInteger(name, value.toString());
    }
    if (typed_ || value.typeId() != QMetaType::QString) {
      throw InvalidType(name);
    }
    return ParseInteger(name, value.toString());
  }

  void WriteString(const QString& name, const QString& value) override {
    settings_->setValue(name, value);
  }

  void WriteInteger(const QString& name, std::int32_t value) override {
    settings_->setValue(name, static_cast<int>(value));
  }

 private:
  std::unique_ptr<QSettings> settings_;
  bool typed_;
};

}  // namespace

std::unique_ptr<SettingsKey> OpenSettingsKey(const QString& path) {
#ifdef Q_OS_WIN
  // Windows: the registry under HKEY_LOCAL_MACHINE, where the settings live.
  const QString registryPath =
      QStringLiteral("HKEY_LOCAL_MACHINE\\") + KeyPathToGroup(path).replace('/', '\\');
  return std::make_unique<QtSettingsKey>(
      std::make_unique<QSettings>(registryPath, QSettings::NativeFormat), true);
#else
  QString directory = qEnvironmentVariable("VELWIN_CONFIG_DIR");
  if (directory.isEmpty()) {
    directory = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
                QStringLiteral("/velwin");
  }
  // A directory that cannot be made leaves an empty store: nothing is read
  // and writes are lost quietly, never stopping the window from closing.
  QDir().mkpath(directory);
  auto settings =
      std::make_unique<QSettings>(directory + QStringLiteral("/velwin.ini"), QSettings::IniFormat);
  settings->beginGroup(KeyPathToGroup(path));
  return std::make_unique<QtSettingsKey>(std::move(settings), false);
#endif
}

}  // namespace velwin::gui
