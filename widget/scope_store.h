// widget/scope_store.h - the scope each placed widget was limited to, by widget name.
// Only the identifier is kept, in $XDG_STATE_HOME/nolt-widget/<name> (else
// ~/.local/state/...); the name and membership are looked up in the snapshot when used.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/environment.h"
#include "platform/uuid.h"

namespace nolt::widget {

using platform::UUID;

// Letters, digits, '.', '_' and '-', not starting with '.', at most 64 characters: a widget
// name becomes a file name and must not reach outside the state folder.
bool isValidWidgetName(std::string_view name);

class ScopeStore {
 public:
  // None when neither XDG_STATE_HOME nor HOME is an absolute path.
  static std::optional<ScopeStore> forWidget(platform::Environment& env, std::string_view name);
  explicit ScopeStore(std::string path) : path_(std::move(path)) {}

  // None when nothing (or nothing readable) was stored: the whole library.
  std::optional<UUID> load() const;
  // Replaces the stored scope atomically; none removes it. False when it could not be saved.
  bool save(const std::optional<UUID>& scope) const;

  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

}  // namespace nolt::widget
