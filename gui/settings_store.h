#pragma once

#include <QString>
#include <cstdint>
#include <memory>
#include <stdexcept>

namespace velwin::gui {

// A failed settings read: "Invalid data type for 'NAME'" or "Failed to get
// data for 'NAME'".
class SettingsError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// One open key of the settings store. Under Windows the keys live in the
// registry below HKEY_LOCAL_MACHINE; elsewhere in an INI file in the user's
// configuration directory (VELWIN_CONFIG_DIR overrides the directory).
class SettingsKey {
 public:
  virtual ~SettingsKey() = default;

  virtual bool ValueExists(const QString& name) const = 0;
  // Throw SettingsError when the stored value is of another type or too
  // large for a 32-bit integer.
  virtual QString ReadString(const QString& name) const = 0;
  virtual std::int32_t ReadInteger(const QString& name) const = 0;
  // Failures to write are silent: closing a window is never prevented.
  virtual void WriteString(const QString& name, const QString& value) = 0;
  virtual void WriteInteger(const QString& name, std::int32_t value) = 0;
};

// Opens a key by its path ("\\SOFTWARE\\Tessaloc\\velwin", "Software\\VELTRA"),
// creating it when missing. The key is closed (and written out) when the
// returned object is destroyed.
std::unique_ptr<SettingsKey> OpenSettingsKey(const QString& path);

}  // namespace velwin::gui
