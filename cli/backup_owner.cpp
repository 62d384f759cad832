#include "cli/backup_owner.h"

#include <grp.h>
#include <pwd.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <string_view>

#include "card/card_backup.h"
#include "fileio/file_error.h"

namespace velwin::cli {
namespace {

std::optional<unsigned long> ParseId(const char* text) {
  if (text == nullptr || *text == '\0')
    return std::nullopt;
  const std::string_view view(text);
  unsigned long value = 0;
  const auto [end, ec] = std::from_chars(view.data(), view.data() + view.size(), value);
  if (ec != std::errc() || end != view.data() + view.size())
    return std::nullopt;
  return value;
}

// The user database's entry: home, primary group and the groups a login
// would give.
void FillFromDatabase(InvokingUser& user, bool takeGroup) {
  passwd entry{};
  passwd* found = nullptr;
  std::vector<char> buffer(16384);
  if (::getpwuid_r(user.uid, &entry, buffer.data(), buffer.size(), &found) != 0 || found == nullptr)
    return;
  user.home = entry.pw_dir != nullptr ? entry.pw_dir : "";
  if (takeGroup)
    user.gid = entry.pw_gid;
  int count = 64;
  std::vector<gid_t> groups(static_cast<std::size_t>(count));
  if (::getgrouplist(entry.pw_name, user.gid, groups.data(), &count) < 0) {
    groups.resize(static_cast<std::size_t>(count));
    if (::getgrouplist(entry.pw_name, user.gid, groups.data(), &count) < 0)
      return;
  }
  groups.resize(static_cast<std::size_t>(count));
  user.groups = std::move(groups);
}

}  // namespace

std::optional<InvokingUser> FindInvokingUser(
    const std::function<const char*(const char*)>& getEnv) {
  if (::geteuid() != 0)
    return std::nullopt;
  InvokingUser user;
  if (const auto pkexecUid = ParseId(getEnv("PKEXEC_UID"))) {
    user.uid = static_cast<uid_t>(*pkexecUid);
    user.gid = static_cast<gid_t>(*pkexecUid);
    FillFromDatabase(user, true);
  } else if (const auto sudoUid = ParseId(getEnv("SUDO_UID"))) {
    const auto sudoGid = ParseId(getEnv("SUDO_GID"));
    user.uid = static_cast<uid_t>(*sudoUid);
    user.gid = static_cast<gid_t>(sudoGid.value_or(*sudoUid));
    FillFromDatabase(user, !sudoGid.has_value());
  } else {
    return std::nullopt;
  }
  if (user.uid == 0)
    return std::nullopt;
  if (user.groups.empty())
    user.groups.push_back(user.gid);
  return user;
}

void RunAsUser(const InvokingUser& user, const std::function<void()>& step) {
  const gid_t rootGid = ::getegid();
  const int groupCount = ::getgroups(0, nullptr);
  std::vector<gid_t> rootGroups(static_cast<std::size_t>(groupCount > 0 ? groupCount : 0));
  if (groupCount > 0 && ::getgroups(groupCount, rootGroups.data()) < 0)
    throw fileio::FileError(EACCES, user.home);
  const auto giveBack = [&] {
    // In this order: only root may set the group and the groups.
    return ::seteuid(0) == 0 && ::setegid(rootGid) == 0 &&
           ::setgroups(rootGroups.size(), rootGroups.data()) == 0;
  };
  // Groups and group first, while still root; the user last.
  if (::setgroups(user.groups.size(), user.groups.data()) != 0 || ::setegid(user.gid) != 0 ||
      ::seteuid(user.uid) != 0) {
    giveBack();
    throw fileio::FileError(EACCES, user.home);
  }
  try {
    step();
  } catch (...) {
    giveBack();
    throw;
  }
  if (!giveBack())
    throw fileio::FileError(EACCES, user.home);
}

std::function<const char*(const char*)> UserEnvironment(const InvokingUser& user) {
  return [&user](const char* name) -> const char* {
    return std::string_view(name) == "HOME" && !user.home.empty() ? user.home.c_str() : nullptr;
  };
}

std::string BackupFolderFor(const std::optional<std::string>& given,
                            const std::optional<InvokingUser>& user) {
  if (given)
    return *given;
  // Root's environment says nothing of theirs.
  if (user && !user->home.empty())
    return card::CardBackupFolder(UserEnvironment(*user));
  return card::CardBackupFolder([](const char* name) { return std::getenv(name); });
}

std::optional<std::string> TakeBackupDir(Arguments& args, std::optional<std::string>& dir) {
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--")
      break;
    if (args[i] != "--backup-dir")
      continue;
    if (i + 1 >= args.size())
      return "--backup-dir needs a value";
    dir = args[i + 1];
    args.erase(args.begin() + static_cast<std::ptrdiff_t>(i),
               args.begin() + static_cast<std::ptrdiff_t>(i) + 2);
    --i;
  }
  if (dir && dir->empty())
    return "--backup-dir needs a value";
  return std::nullopt;
}

}  // namespace velwin::cli
