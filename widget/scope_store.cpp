#include "widget/scope_store.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

#include "platform/careful_files.h"

namespace nolt::widget {

namespace {

std::optional<std::string> absoluteVariable(platform::Environment& env, const char* name) {
  auto value = env.variable(name);
  if (!value || value->empty() || (*value)[0] != '/') return std::nullopt;
  return value;
}

// Creates each missing folder of `path` (mode 0700); false when one cannot be made.
bool makeFolders(const std::string& path) {
  for (std::size_t slash = path.find('/', 1);; slash = path.find('/', slash + 1)) {
    std::string folder = path.substr(0, slash);
    if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) return false;
    if (slash == std::string::npos) return true;
  }
}

}  // namespace

bool isValidWidgetName(std::string_view name) {
  if (name.empty() || name.size() > 64 || name[0] == '.') return false;
  for (char c : name) {
    bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
              c == '.' || c == '_' || c == '-';
    if (!ok) return false;
  }
  return true;
}

std::optional<ScopeStore> ScopeStore::forWidget(platform::Environment& env, std::string_view name) {
  std::string folder;
  if (auto state = absoluteVariable(env, "XDG_STATE_HOME")) {
    folder = *state;
  } else if (auto home = absoluteVariable(env, "HOME")) {
    folder = *home + "/.local/state";
  } else {
    return std::nullopt;
  }
  return ScopeStore(folder + "/nolt-widget/" + std::string(name));
}

std::optional<UUID> ScopeStore::load() const {
  // Read carefully like any file we did not just write: a FIFO there must not hang the widget.
  std::optional<std::string> text = platform::readRegularFile(path_, UUID::kTextSize + 1);
  if (!text) return std::nullopt;
  std::string_view stored(*text);
  if (!stored.empty() && stored.back() == '\n') stored.remove_suffix(1);
  return UUID::parse(stored);
}

bool ScopeStore::save(const std::optional<UUID>& scope) const {
  if (!scope) return ::unlink(path_.c_str()) == 0 || errno == ENOENT;
  std::size_t slash = path_.rfind('/');
  if (slash == std::string::npos || !makeFolders(path_.substr(0, slash))) return false;
  // A fresh temporary file beside it and a rename: a link or a FIFO planted at either name is
  // replaced, never written through.
  try {
    platform::writeFileAtomically(path_, scope->uuidString() + "\n");
  } catch (const std::system_error&) {
    return false;  // the widget keeps showing the scope; it is only not remembered
  }
  return true;
}

}  // namespace nolt::widget
