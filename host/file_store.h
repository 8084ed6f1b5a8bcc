// host/file_store.h - the files of items, kept beside the database: <folder>/<item id>/<name>.
// Folders are 0700 and files 0600; everything goes through the careful file layer, since the
// store sits in the shared container, where other programs can put things.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/careful_files.h"

namespace nolt::host {

using platform::UniqueFD;

// A file of the store's own that receives a file arriving in pieces before its item exists.
// Its name goes with this object; adopt() its descriptor to keep the bytes. A host that stops
// first leaves it to removeStrays().
class IncomingFile {
 public:
  IncomingFile(UniqueFD folder, std::string name, UniqueFD file)
      : folder_(std::move(folder)), name_(std::move(name)), file_(std::move(file)) {}
  ~IncomingFile();
  IncomingFile(const IncomingFile&) = delete;
  IncomingFile& operator=(const IncomingFile&) = delete;

  int fd() const { return file_.get(); }

 private:
  UniqueFD folder_;
  std::string name_;
  UniqueFD file_;
};

class FileStore {
 public:
  // Called with an item's id before its folder is made, so the removal of a folder whose item
  // never commits is on record first (FileLedger); it throws to refuse.
  using NewFolderHook = std::function<void(const std::string& itemID)>;

  explicit FileStore(std::filesystem::path folder, NewFolderHook beforeNewFolder = {})
      : folder_(std::move(folder)), beforeNewFolder_(std::move(beforeNewFolder)) {}

  // A name that could leave the item's folder ("..", "a/b", "") becomes "file".
  static std::string safeName(std::string_view name);

  std::filesystem::path pathOf(const std::string& itemID, const std::string& name) const;
  // Writes the bytes through a temporary file and fsync, so a stored file is whole.
  // Throws std::system_error.
  std::filesystem::path save(const std::string& itemID, const std::string& name,
                             std::string_view bytes);
  // Stores an open regular file. It is hard-linked (same disk, no copy) only when it is ours
  // and has no other name, so the library never shares an inode with a file elsewhere; else
  // its bytes are copied in chunks. Either way the stored file is 0600. Throws
  // std::system_error, also when the file holds more than platform::kMaxFileBytes.
  std::filesystem::path adopt(const std::string& itemID, const std::string& name, int source);
  // A fresh, empty, private file to receive into. Throws std::system_error.
  std::unique_ptr<IncomingFile> receive();
  // None when the file is missing, a link, not a regular file or over platform::kMaxFileBytes.
  std::optional<std::string> read(const std::string& itemID, const std::string& name) const;
  void remove(const std::string& itemID);  // the item's folder, quietly
  // Removes what a host that stopped mid-way left: the files it was receiving, and the folders
  // of the `removable` ids (on record as never committed or deleted) that `isItem` does not
  // know. A folder nobody recorded is kept, whatever the database says. Returns how many
  // folders went.
  int removeStrays(const std::vector<std::string>& removable,
                   const std::function<bool(const std::string& itemID)>& isItem);

 private:
  UniqueFD itemFolder(const std::string& itemID);

  std::filesystem::path folder_;
  NewFolderHook beforeNewFolder_;
};

}  // namespace nolt::host
