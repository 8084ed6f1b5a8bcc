// capture/container.h - where the shared container, its inbox and its destinations file are.
// Every path into the container comes from here. Nothing is created or checked: each locator
// only says where the item would be, and none when the container cannot be resolved.
#pragma once

#include <filesystem>
#include <optional>

#include "platform/environment.h"

namespace nolt::capture {

std::optional<std::filesystem::path> groupContainerURL(platform::Environment& env);
// <container>/Incoming, one capture folder per capture.
std::optional<std::filesystem::path> inboxURL(platform::Environment& env);
// <container>/destinations.json, written by the host.
std::optional<std::filesystem::path> destinationsURL(platform::Environment& env);

}  // namespace nolt::capture
