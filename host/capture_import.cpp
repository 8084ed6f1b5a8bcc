#include "host/capture_import.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <vector>

#include "capture/incoming_request.h"
#include "host/file_store.h"
#include "host/item_presentation.h"
#include "host/titles.h"
#include "host/web_address.h"
#include "platform/file_types.h"

namespace nolt::host {

using platform::entryNames;
using platform::forEachEntry;
using platform::openFolder;
using platform::openRegularFile;
using platform::readAll;
using platform::removeTree;

namespace fs = std::filesystem;

namespace {

constexpr const char* kRequestFileName = "request.json";

// A reason to set a capture aside.
class Unreadable : public std::runtime_error {
  using std::runtime_error::runtime_error;
};

// The inbox is read this many names at a time, each batch in name order.
constexpr std::size_t kInboxBatch = 1000;
// Rejected/<UUID>-2, -3, ... when a capture with the same name was set aside before.
constexpr int kMaxRejectedNames = 100;
// Names in Rejected/ of a set-aside under way: ".<target>.reason" and ".<target>.aside".
constexpr const char* kReasonSuffix = ".reason";
constexpr const char* kAsideSuffix = ".aside";
// Where a capture's own entry named reason.txt goes when the host's reason takes the name.
constexpr const char* kCapturesReasonName = "reason.txt.capture";

// `name` in the capture folder opened to read, or the reason it can't be (`shown` names it).
UniqueFD openFile(int folder, const std::string& name, const std::string& shown,
                  std::uint64_t maxBytes) {
  struct stat status;
  UniqueFD file = openRegularFile(folder, name, status);
  if (!file && errno == ELOOP) throw Unreadable(shown + " is a link, not a file.");
  if (!file && errno == ENOENT) throw Unreadable(shown + " isn't in its folder.");
  if (!file && errno == EINVAL) throw Unreadable(shown + " isn't a plain file.");
  if (!file) throw Unreadable(shown + " can't be read.");
  if (static_cast<std::uint64_t>(status.st_size) > maxBytes)
    throw Unreadable(shown + " is over " + std::to_string(maxBytes / (1024 * 1024)) + " MB.");
  return file;
}

ItemKind kindOfFile(std::string_view name) {
  const platform::FileType* type = platform::typeForExtension(platform::pathExtension(name));
  if (!type) return ItemKind::file;
  if (type->conforms(platform::kImageType)) return ItemKind::image;
  if (type->conforms(platform::kMovieType)) return ItemKind::video;
  if (type->conforms(platform::kPDFType)) return ItemKind::pdf;
  if (type->conforms(platform::kPlainTextType)) return ItemKind::text;
  return ItemKind::file;
}

std::string titleOfLink(const std::string& url) {
  std::optional<std::string> site = siteOf(url);
  if (!site) return url;
  std::size_t path = url.find('/', url.find("//") + 2);
  std::string rest = path == std::string::npos ? "" : url.substr(path);
  rest = rest.substr(0, rest.find_first_of("?#"));
  while (!rest.empty() && rest.back() == '/') rest.pop_back();
  return *site + rest;
}

}  // namespace

CaptureImporter::CaptureImporter(HostServices services, fs::path inbox, fs::path rejected,
                                 fs::path trash)
    : services_(services),
      inbox_(std::move(inbox)),
      rejected_(std::move(rejected)),
      trash_(std::move(trash)),
      // Only taken captures are in the trash; one still there when the host stops goes at the
      // next start.
      sweeper_([this](const std::atomic<bool>& stopping) { sweep(stopping); },
               BackgroundWork::AtStop::dropAsked, true) {}

void CaptureImporter::sweep(const std::atomic<bool>& stopping) {
  if (UniqueFD trash = openFolder(trash_))
    forEachEntry(trash.get(), kInboxBatch, [&](const std::string& name) {
      if (!stopping) removeTree(trash.get(), name);
    });
}

ImportReport CaptureImporter::importAll(const std::function<bool()>& stop) {
  std::lock_guard lock(mutex_);
  ImportReport report;
  finishSettingAside();
  // What a host stopped while deleting left behind goes with the next sweep.
  sweeper_.ask();
  bool stopped = false;
  auto batchStarted = std::chrono::steady_clock::now();
  // No inbox yet, or something other than a folder in its place: nothing to take.
  UniqueFD inbox = openFolder(inbox_);
  if (!inbox) return report;
  forEachEntry(inbox.get(), kInboxBatch, [&](const std::string& name) {
    if (stopped || (stop && (stopped = stop()))) return;
    if (batch_.empty()) batchStarted = std::chrono::steady_clock::now();
    switch (importEntry(inbox.get(), name)) {
      case Outcome::imported:
        ++report.imported;
        break;
      case Outcome::setAside:
        ++report.setAside;
        break;
      case Outcome::leftAlone:
        break;
      case Outcome::queued:
        if (batch_.size() >= kImportBatch || std::chrono::steady_clock::now() - batchStarted >=
                                                 std::chrono::duration<double>(kImportBatchSeconds))
          commitBatch(inbox.get(), report);
        break;
    }
  });
  commitBatch(inbox.get(), report);
  return report;
}

void CaptureImporter::commitBatch(int inbox, ImportReport& report) {
  if (batch_.empty()) return;
  std::vector<Pending> batch = std::move(batch_);
  batch_.clear();
  if (onBatchStep) onBatchStep("adopted");
  std::vector<std::pair<Item, std::optional<Note>>> items;
  items.reserve(batch.size());
  for (Pending& pending : batch) items.push_back(std::move(pending.item));
  std::vector<bool> committed(batch.size(), true);
  try {
    services_.library.addItems(items);
  } catch (const std::exception&) {
    // One capture the library refuses must not hold back the others: each goes alone. What
    // still fails (a full disk, a locked database) stays in the inbox to be tried again later.
    for (std::size_t i = 0; i < items.size(); ++i) {
      try {
        services_.library.addItem(items[i].first, items[i].second);
      } catch (const std::exception&) {
        services_.files.remove(items[i].first.id);
        committed[i] = false;
      }
    }
  }
  if (onBatchStep) onBatchStep("committed");
  UniqueFD trash = openFolder(trash_, true);
  for (std::size_t i = 0; i < batch.size(); ++i) {
    if (!committed[i]) continue;
    remove(inbox, trash.get(), batch[i].captureID);
    ++report.imported;
    if (onBatchStep) onBatchStep("removed");
  }
  sweeper_.ask();
}

CaptureImporter::Outcome CaptureImporter::importEntry(int inbox, const std::string& captureID) {
  auto setAsideFor = [&](const std::string& reason) {
    return setAside(inbox, captureID, reason) ? Outcome::setAside : Outcome::leftAlone;
  };
  struct stat status;
  if (::fstatat(inbox, captureID.c_str(), &status, AT_SYMLINK_NOFOLLOW) != 0)
    return Outcome::leftAlone;
  // A stray file is no capture and harms nobody; a link could lead anywhere.
  if (S_ISREG(status.st_mode)) return Outcome::leftAlone;
  if (S_ISLNK(status.st_mode)) return setAsideFor("The capture is a link, not a folder.");
  if (!S_ISDIR(status.st_mode)) return setAsideFor("The capture isn't a folder.");
  UniqueFD folder = openFolder(inbox, captureID);
  if (!folder) return Outcome::leftAlone;  // replaced since it was looked at; seen next time

  // Still being written, or abandoned by a writer that failed: not a capture. Unless the
  // library took it already: then it is what a removal that could not finish left.
  if (::fstatat(folder.get(), kRequestFileName, &status, AT_SYMLINK_NOFOLLOW) != 0) {
    if (services_.library.hasCapture(captureID)) remove(inbox, captureID);
    return Outcome::leftAlone;
  }
  if (services_.library.hasCapture(captureID)) {
    // Committed by a host that stopped before it could remove the folder.
    remove(inbox, captureID);
    return Outcome::imported;
  }

  Item item;
  std::optional<Note> note;
  UniqueFD payload;
  try {
    std::optional<std::string> text;
    if (UniqueFD file = openFile(folder.get(), kRequestFileName, "request.json", kMaxRequestBytes))
      text = readAll(file.get(), kMaxRequestBytes);
    if (!text) throw Unreadable("request.json can't be read.");
    std::optional<capture::IncomingRequest> request = capture::IncomingRequest::decode(*text);
    if (!request) throw Unreadable("request.json isn't a capture request this host can read.");

    item.id = services_.uuids.next().uuidString();
    item.captureID = captureID;
    item.tags = request->tags;
    item.sourceURL = request->sourceURL;
    double now = platform::secondsSince1970(services_.clock.now());
    double created =
        platform::secondsSince1970(platform::instantSinceReferenceDate(request->createdAt));
    // An instant from a wrong clock must not pin the capture to the top of the library forever.
    // One before 1970 is as wrong (no clock here gives it) and may lie past any date shown.
    item.createdAt = created >= 0 && created <= now + 86400 ? created : now;

    // A place that no longer exists does not lose the capture: it goes to the open space.
    std::vector<Collection> collections = services_.library.collections();
    std::vector<Space> spaces = services_.library.spaces();
    if (request->collectionID) {
      std::string id = request->collectionID->uuidString();
      for (const Collection& collection : collections)
        if (collection.id == id) {
          item.collectionIDs.push_back(id);
          if (collection.spaceID) item.spaceID = *collection.spaceID;
        }
    }
    if (request->spaceID) {
      std::string id = request->spaceID->uuidString();
      if (std::any_of(spaces.begin(), spaces.end(), [&](const Space& s) { return s.id == id; }))
        item.spaceID = id;
    }
    if (item.spaceID.empty()) item.spaceID = services_.library.currentSpaceID().value_or("");

    switch (request->kind) {
      case capture::IncomingRequest::Kind::link:
        // The same rule as add_link: `open` hands the address to the desktop's opener.
        if (!isWebAddress(request->url.value_or("")))
          throw Unreadable("The capture's link isn't an http or https address.");
        item.kind = ItemKind::link;
        item.url = request->url;
        item.title = request->title.value_or(titleOfLink(request->url.value_or("")));
        break;
      case capture::IncomingRequest::Kind::text:
        item.kind = ItemKind::text;
        item.text = request->text;
        item.title = request->title.value_or(titleOfText(request->text.value_or("")));
        if (item.title.empty()) item.title = "Text";
        break;
      case capture::IncomingRequest::Kind::file: {
        std::string name = request->fileName.value_or("");
        if (name.empty() || FileStore::safeName(name) != name || name == kRequestFileName)
          throw Unreadable("The capture names no usable file (\"" + name + "\").");
        payload =
            openFile(folder.get(), name, "The capture's file " + name, platform::kMaxFileBytes);
        item.kind = kindOfFile(name);
        item.fileName = name;
        if (const auto* type = platform::typeForExtension(platform::pathExtension(name)))
          item.mimeType = std::string(type->preferredMIMEType);
        item.title = request->title.value_or(titleOfFileName(name));
        if (item.kind == ItemKind::image) {
          if (auto bytes = readAll(payload.get(), platform::kMaxFileBytes))
            if (auto facts = services_.images.inspect(*bytes)) {
              item.width = facts->width;
              item.height = facts->height;
              item.colors = facts->palette;
            }
        }
        break;
      }
    }
    if (request->note.find_first_not_of(" \t\r\n") != std::string::npos) {
      note = Note{};
      note->id = services_.uuids.next().uuidString();
      note->text = request->note;
      note->itemID = item.id;
      note->createdAt = item.createdAt;
    }
  } catch (const Unreadable& reason) {
    return setAsideFor(reason.what());
  }

  try {
    // The payload is linked or copied, not moved: until the item commits, the folder stays
    // whole.
    if (item.fileName) services_.files.adopt(item.id, *item.fileName, payload.get());
  } catch (const std::exception&) {
    // The file store could not take it now (a full disk): try again later.
    services_.files.remove(item.id);
    return Outcome::leftAlone;
  }
  batch_.push_back({captureID, {std::move(item), std::move(note)}});
  return Outcome::queued;
}

void CaptureImporter::remove(int inbox, const std::string& name) {
  UniqueFD trash = openFolder(trash_, true);
  remove(inbox, trash.get(), name);
  sweeper_.ask();
}

void CaptureImporter::remove(int inbox, int trash, const std::string& name) {
  // One rename takes the whole folder out of the inbox at once; deleting it file by file
  // could be cut short and leave a payload without its request.json behind. The sweeper
  // deletes it from the trash.
  if (trash >= 0) {
    removeTree(trash, name);
    if (::renameat(inbox, name.c_str(), trash, name.c_str()) == 0) return;
  }
  // Deleted in place, request.json last, so a removal cut short never leaves a payload that
  // looks like no capture; a folder that can't go yet (a read-only inbox) goes on a later pass.
  if (UniqueFD folder = openFolder(inbox, name)) {
    platform::forEachEntry(folder.get(), kInboxBatch, [&](const std::string& entry) {
      if (entry != kRequestFileName) removeTree(folder.get(), entry);
    });
    ::unlinkat(folder.get(), kRequestFileName, 0);
  }
  removeTree(inbox, name);
}

// Setting aside is one rename of the whole capture into Rejected/, so every moment leaves it
// either whole in the inbox or whole set aside. The reason is written first under a name of its
// own in Rejected/ (".<target>.reason") and moved in after; finishSettingAside() completes or
// drops what a host stopped in between left. Something that is no folder (a link, a FIFO) gets
// a folder made for it as ".<target>.aside", which is renamed into place once it holds it.
bool CaptureImporter::setAside(int inbox, const std::string& name, const std::string& reason) {
  UniqueFD rejected = openFolder(rejected_, true);
  if (!rejected) return false;
  struct stat status;
  if (::fstatat(inbox, name.c_str(), &status, AT_SYMLINK_NOFOLLOW) != 0) return false;
  bool isFolder = S_ISDIR(status.st_mode);
  std::string line = reason + "\n";
  for (int i = 1; i <= kMaxRejectedNames; ++i) {
    // Rejected/<name>, then <name>-2, -3, ...: a capture set aside twice keeps both reasons.
    std::string target = i == 1 ? name : name + "-" + std::to_string(i);
    if (::fstatat(rejected.get(), target.c_str(), &status, AT_SYMLINK_NOFOLLOW) == 0) continue;
    if (isFolder) {
      std::string staged = "." + target + kReasonSuffix;
      try {
        platform::writeFileAtomically(rejected.get(), staged, line, rejected_ / staged);
      } catch (const std::exception&) {
        return false;
      }
      if (::renameat2(inbox, name.c_str(), rejected.get(), target.c_str(), RENAME_NOREPLACE) != 0) {
        ::unlinkat(rejected.get(), staged.c_str(), 0);
        if (errno == EEXIST) continue;
        return false;
      }
      placeReason(rejected.get(), staged, target);
      return true;
    }
    std::string staged = "." + target + kAsideSuffix;
    removeTree(rejected.get(), staged);
    if (::mkdirat(rejected.get(), staged.c_str(), 0700) != 0) return false;
    UniqueFD aside = openFolder(rejected.get(), staged);
    if (!aside) return false;
    try {
      platform::writeFileAtomically(aside.get(), kReasonFileName, line, rejected_ / staged);
    } catch (const std::exception&) {
      removeTree(rejected.get(), staged);
      return false;
    }
    // The entry moves in as what it is: a link stays a link, and nothing it points at is read.
    if (::renameat2(inbox, name.c_str(), aside.get(), name.c_str(), RENAME_NOREPLACE) != 0) {
      removeTree(rejected.get(), staged);
      return false;
    }
    return ::renameat2(rejected.get(), staged.c_str(), rejected.get(), target.c_str(),
                       RENAME_NOREPLACE) == 0;
  }
  return false;
}

// Moves the staged reason into the folder set aside. The capture's own entry at that name, if
// it is a file or folder, is kept beside it; a link planted there is replaced, never followed.
void CaptureImporter::placeReason(int rejected, const std::string& staged,
                                  const std::string& target) {
  UniqueFD aside = openFolder(rejected, target);
  if (!aside) {
    ::unlinkat(rejected, staged.c_str(), 0);
    return;
  }
  ::fchmod(aside.get(), 0700);
  struct stat status;
  if (::fstatat(aside.get(), kReasonFileName, &status, AT_SYMLINK_NOFOLLOW) == 0 &&
      (S_ISREG(status.st_mode) || S_ISDIR(status.st_mode)))
    ::renameat2(aside.get(), kReasonFileName, aside.get(), kCapturesReasonName, RENAME_NOREPLACE);
  // When the rename fails the reason stays staged, for the next pass to move in.
  ::renameat(rejected, staged.c_str(), aside.get(), kReasonFileName);
}

void CaptureImporter::finishSettingAside() {
  UniqueFD rejected = openFolder(rejected_);
  if (!rejected) return;
  for (const std::string& entry : entryNames(rejected.get())) {
    if (entry.size() < 2 || entry[0] != '.') continue;
    struct stat status;
    if (entry.ends_with(kReasonSuffix)) {
      std::string target = entry.substr(1, entry.size() - 1 - std::strlen(kReasonSuffix));
      // The capture is there when the rename happened; else it is still in the inbox, and
      // the reason goes with the attempt.
      if (::fstatat(rejected.get(), target.c_str(), &status, AT_SYMLINK_NOFOLLOW) == 0 &&
          S_ISDIR(status.st_mode))
        placeReason(rejected.get(), entry, target);
      else
        ::unlinkat(rejected.get(), entry.c_str(), 0);
    } else if (entry.ends_with(kAsideSuffix)) {
      std::string target = entry.substr(1, entry.size() - 1 - std::strlen(kAsideSuffix));
      UniqueFD aside = openFolder(rejected.get(), entry);
      // With the reason alone in it, the capture never came.
      if (aside && entryNames(aside.get(), 2).size() > 1)
        ::renameat2(rejected.get(), entry.c_str(), rejected.get(), target.c_str(),
                    RENAME_NOREPLACE);
      else
        removeTree(rejected.get(), entry);
    } else if (platform::isTemporaryName(entry)) {
      ::unlinkat(rejected.get(), entry.c_str(), 0);
    }
  }
}

}  // namespace nolt::host
