#include "cli/commands/user_database.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdlib>

#include "cli/link/app_connection.h"
#include "platform/careful_files.h"

namespace nolt::commands {

namespace {

// The home of the first entry for which `matches(name, uid)` holds.
template <typename Match>
std::optional<std::string> findHome(std::string_view text, Match matches) {
  while (!text.empty()) {
    std::size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
    std::string_view fields[7];
    std::size_t count = 0;
    for (std::string_view rest = line; count < 7; ++count) {
      std::size_t colon = rest.find(':');
      fields[count] = rest.substr(0, colon);
      if (colon == std::string_view::npos) {
        ++count;
        break;
      }
      rest.remove_prefix(colon + 1);
    }
    // Comments, blank lines and cut-short entries name nobody.
    if (count < 6 || !matches(fields[0], fields[2])) continue;
    if (!fields[5].starts_with('/')) return std::nullopt;
    return std::string(fields[5]);
  }
  return std::nullopt;
}

std::optional<uid_t> parseUID(std::string_view text) {
  uid_t uid;
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), uid);
  if (error != std::errc() || end != text.data() + text.size() || text.empty()) return std::nullopt;
  return uid;
}

std::optional<std::string> ownHome(const UserDatabase& users) {
  const char* home = std::getenv("HOME");
  if (home && home[0] == '/') return std::string(home);
  return users.homeOf(getuid());
}

}  // namespace

std::optional<std::string> homeInPasswd(std::string_view text, std::string_view name) {
  if (name.empty()) return std::nullopt;
  return findHome(text, [&](std::string_view user, std::string_view) { return user == name; });
}

std::optional<std::string> homeInPasswd(std::string_view text, uid_t uid) {
  return findHome(text, [&](std::string_view, std::string_view id) { return parseUID(id) == uid; });
}

std::optional<std::string> UserDatabase::homeOf(std::string_view name) const {
  std::optional<std::string> passwd = text();
  return passwd ? homeInPasswd(*passwd, name) : std::nullopt;
}

std::optional<std::string> UserDatabase::homeOf(uid_t uid) const {
  std::optional<std::string> passwd = text();
  return passwd ? homeInPasswd(*passwd, uid) : std::nullopt;
}

std::optional<std::string> UserDatabase::text() const {
  // Without blocking, should something other than a file stand there.
  struct stat status;
  platform::UniqueFD file = platform::openNamedFile(path_, status);
  if (!file) return std::nullopt;
  return platform::readAll(file.get(), kMaxBytes);
}

std::string expandHome(std::string_view path, const UserDatabase& users) {
  if (!path.starts_with('~')) return std::string(path);
  std::size_t slash = path.find('/');
  std::string_view name = path.substr(1, slash == std::string_view::npos ? slash : slash - 1);
  std::optional<std::string> home;
  if (name.empty()) {
    home = ownHome(users);
    if (!home)
      throw link::AppConnection::Failure::app("HOME isn't set; give the full path of " +
                                              std::string(path) + ".");
  } else {
    home = users.homeOf(name);
    if (!home) return std::string(path);
  }
  std::string rest(slash == std::string_view::npos ? std::string_view() : path.substr(slash));
  // "/" as home must not turn "~/a" into "//a".
  if (*home == "/" && !rest.empty()) return rest;
  return *home + rest;
}

}  // namespace nolt::commands
