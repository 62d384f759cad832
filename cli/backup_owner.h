#pragma once

#include <sys/types.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "cli/arguments.h"

namespace velwin::cli {

// The user who asked for a write that runs as root, through pkexec or
// sudo. The card's backup is theirs: it is written with their rights, into
// their own folder, so they own it, and a folder they may not write refuses
// the backup before anything is erased, as it would without the rights.
struct InvokingUser {
  uid_t uid = 0;
  gid_t gid = 0;
  std::vector<gid_t> groups;  // supplementary groups, as at their login
  std::string home;           // from the user database; empty when it names none
};

// The invoking user of a process running as root: PKEXEC_UID (pkexec sets
// it; group, groups and home come from the user database), else SUDO_UID
// with SUDO_GID. Nothing when the process is not root, when neither names a
// user, or names root itself. getEnv returns null for an unset variable.
std::optional<InvokingUser> FindInvokingUser(const std::function<const char*(const char*)>& getEnv);

// The user's environment as far as it can be known from root's: HOME from
// the user database, nothing else. For the folders their files go to. The
// user must outlive what it returns.
std::function<const char*(const char*)> UserEnvironment(const InvokingUser& user);

// Runs step with user's effective user, group and supplementary groups, and
// takes root's back afterwards however step ends. Throws fileio::FileError
// (access denied) when the identity cannot be taken or given back. The
// program's one thread is the only one to see the change.
void RunAsUser(const InvokingUser& user, const std::function<void()>& step);

// Where a write keeps the card's backup: the folder given (--backup-dir),
// else the invoking user's own (~/.local/share/velwin/card-backups from the
// home the user database names, as root's environment says nothing of
// theirs), else the usual one (card::CardBackupFolder).
std::string BackupFolderFor(const std::optional<std::string>& given,
                            const std::optional<InvokingUser>& user);

// Takes "--backup-dir DIR" out of args (before any "--"), DIR into dir.
// Returns the problem when the option has no value.
std::optional<std::string> TakeBackupDir(Arguments& args, std::optional<std::string>& dir);

}  // namespace velwin::cli
