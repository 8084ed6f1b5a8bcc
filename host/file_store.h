// host/file_store.h - the files of items, kept beside the database: <folder>/<item id>/<name>.
#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace nolt::host {

class FileStore {
 public:
  explicit FileStore(std::filesystem::path folder) : folder_(std::move(folder)) {}

  // A name that could leave the item's folder ("..", "a/b", "") becomes "file".
  static std::string safeName(std::string_view name);

  std::filesystem::path pathOf(const std::string& itemID, const std::string& name) const;
  // Writes the bytes through a temporary file and fsync, so a stored file is whole.
  // Throws std::system_error.
  std::filesystem::path save(const std::string& itemID, const std::string& name,
                             std::string_view bytes);
  // Hard-links the file when it can (same disk, no copy), else copies it; the source stays.
  std::filesystem::path adopt(const std::string& itemID, const std::string& name,
                              const std::filesystem::path& source);
  std::optional<std::string> read(const std::string& itemID, const std::string& name) const;
  void remove(const std::string& itemID);  // the item's folder, quietly
  // Removes the folders of items `isItem` does not know: files linked in by a host that
  // stopped before their item committed. Returns how many went.
  int removeStrays(const std::function<bool(const std::string& itemID)>& isItem);

 private:
  std::filesystem::path folder_;
};

// Writes `bytes` to `path` atomically: a temporary file beside it, flushed to disk, renamed.
// Throws std::system_error naming the path.
void writeFileAtomically(const std::filesystem::path& path, std::string_view bytes);

}  // namespace nolt::host
