// platform/identifiers.h - the names the programs and the host agree on, fixed at build time.
#pragma once

#include <string_view>

namespace nolt::platform {

inline constexpr std::string_view kHostBundleID = "app.nolt.Nolt";
inline constexpr std::string_view kSharedGroupID = "group.app.nolt";
inline constexpr std::string_view kCommandPortName = "group.app.nolt.cli";
inline constexpr std::string_view kIncomingNotificationName = "app.nolt.Nolt.incoming";

}  // namespace nolt::platform
