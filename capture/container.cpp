#include "capture/container.h"

#include "platform/directories.h"

namespace nolt::capture {

std::optional<std::filesystem::path> groupContainerURL(platform::Environment& env) {
  std::optional<std::string> path = platform::groupContainerPath(env);
  if (!path) return std::nullopt;
  return std::filesystem::path(*path);
}

std::optional<std::filesystem::path> inboxURL(platform::Environment& env) {
  std::optional<std::filesystem::path> container = groupContainerURL(env);
  if (!container) return std::nullopt;
  return *container / "Incoming";
}

std::optional<std::filesystem::path> destinationsURL(platform::Environment& env) {
  std::optional<std::filesystem::path> container = groupContainerURL(env);
  if (!container) return std::nullopt;
  return *container / "destinations.json";
}

}  // namespace nolt::capture
