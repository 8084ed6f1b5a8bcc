#include "platform/directories.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/identifiers.h"

namespace nolt::platform {

namespace {

// The variable's value when it is an absolute path; empty and relative values do not count.
std::optional<std::string> absoluteVariable(Environment& env, const char* name) {
  std::optional<std::string> value = env.variable(name);
  if (!value || value->empty() || (*value)[0] != '/') return std::nullopt;
  return value;
}

std::string join(std::string folder, std::string_view name) {
  if (folder.back() != '/') folder += '/';
  folder += name;
  return folder;
}

}  // namespace

std::optional<std::string> groupContainerPath(Environment& env) {
  if (auto dataHome = absoluteVariable(env, "XDG_DATA_HOME"))
    return join(*dataHome, kSharedGroupID);
  if (auto home = absoluteVariable(env, "HOME"))
    return join(join(*home, ".local/share"), kSharedGroupID);
  return std::nullopt;
}

std::optional<std::string> runtimeDirectory(Environment& env) {
  if (auto runtime = absoluteVariable(env, "XDG_RUNTIME_DIR")) return runtime;
  std::string perUser = "/run/user/" + std::to_string(env.userID());
  if (env.isOwnedDirectory(perUser)) return perUser;
  return groupContainerPath(env);
}

}  // namespace nolt::platform

namespace nolt::platform {

std::optional<std::string> unsafeRuntimeFolder(const std::string& path) {
  // The folder itself may be reached through a link of the user's own (a session manager's
  // choice); what counts is the folder the names are made in.
  struct stat status;
  if (::stat(path.c_str(), &status) != 0) return path + ": " + std::strerror(errno);
  if (!S_ISDIR(status.st_mode)) return path + " isn't a folder";
  if (status.st_uid != ::geteuid()) return path + " belongs to another user";
  if (status.st_mode & (S_IWGRP | S_IWOTH)) return path + " can be written by other users";
  return std::nullopt;
}

}  // namespace nolt::platform
