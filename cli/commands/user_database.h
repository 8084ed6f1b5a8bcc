// cli/commands/user_database.h - home folders, and the tilde of a path that names one.
// nolt is a static program: the C library's user lookups would load name-service modules,
// which a static program cannot load safely, so it reads the password file itself. Users
// kept only in a directory service are therefore unknown to it.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

namespace nolt::commands {

// The home folder of a user in the text of a password file ("name:pw:uid:gid:gecos:home:shell"
// lines); the first line that names the user wins, as in the C library. None when no line
// does, or its home is not an absolute path.
std::optional<std::string> homeInPasswd(std::string_view text, std::string_view name);
std::optional<std::string> homeInPasswd(std::string_view text, uid_t uid);

// The password file, read afresh on each lookup.
class UserDatabase {
 public:
  static constexpr const char* kSystemPath = "/etc/passwd";
  // Real ones hold a few hundred lines; anything far larger is not one.
  static constexpr std::size_t kMaxBytes = 4 << 20;

  explicit UserDatabase(std::string path = kSystemPath) : path_(std::move(path)) {}

  std::optional<std::string> homeOf(std::string_view name) const;
  std::optional<std::string> homeOf(uid_t uid) const;

 private:
  // The file's text; none when it is not a regular file, cannot be read or is over kMaxBytes.
  std::optional<std::string> text() const;

  std::string path_;
};

// `path` with a leading tilde expanded: "~" and "~/x" give our own home (HOME when it is an
// absolute path, else our user's entry in `users`), "~name" and "~name/x" that user's home. A
// name no user has leaves the path as typed, a file below the current folder. Throws
// AppConnection::Failure::app when our own home is unknown.
std::string expandHome(std::string_view path, const UserDatabase& users);

}  // namespace nolt::commands
