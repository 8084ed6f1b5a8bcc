#include "platform/directories.h"

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
