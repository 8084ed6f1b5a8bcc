#include "host/capture_import.h"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <sstream>
#include <vector>

#include "capture/incoming_request.h"
#include "host/file_store.h"
#include "platform/file_types.h"

namespace nolt::host {

namespace fs = std::filesystem;

namespace {

// Seconds from 1970-01-01 to 2001-01-01, where capture instants count from.
constexpr double kReferenceDate = 978307200;
constexpr const char* kRequestFileName = "request.json";

// A reason to set a capture aside.
class Unreadable : public std::runtime_error {
  using std::runtime_error::runtime_error;
};

std::optional<std::string> readWhole(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::ostringstream bytes;
  bytes << in.rdbuf();
  if (in.bad()) return std::nullopt;
  return std::move(bytes).str();
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

ImportReport CaptureImporter::importAll() {
  std::lock_guard lock(mutex_);
  ImportReport report;
  std::error_code ec;
  fs::remove_all(trash_, ec);  // what a host stopped while deleting left behind
  std::vector<fs::path> folders;
  for (const fs::directory_entry& entry : fs::directory_iterator(inbox_, ec))
    if (entry.is_directory(ec)) folders.push_back(entry.path());
  std::sort(folders.begin(), folders.end());
  for (const fs::path& folder : folders) {
    switch (importFolder(folder)) {
      case Outcome::imported:
        ++report.imported;
        break;
      case Outcome::setAside:
        ++report.setAside;
        break;
      case Outcome::leftAlone:
        break;
    }
  }
  return report;
}

CaptureImporter::Outcome CaptureImporter::importFolder(const fs::path& folder) {
  std::error_code ec;
  // Still being written, or abandoned by a writer that failed: not a capture.
  if (!fs::is_regular_file(folder / kRequestFileName, ec)) return Outcome::leftAlone;
  std::string captureID = folder.filename().string();
  if (services_.library.hasCapture(captureID)) {
    // Committed by a host that stopped before it could remove the folder.
    remove(folder);
    return Outcome::imported;
  }

  Item item;
  std::optional<Note> note;
  try {
    std::optional<std::string> text = readWhole(folder / kRequestFileName);
    if (!text) throw Unreadable("request.json can't be read.");
    std::optional<capture::IncomingRequest> request = capture::IncomingRequest::decode(*text);
    if (!request) throw Unreadable("request.json isn't a capture request this host can read.");

    item.id = services_.uuids.next().uuidString();
    item.captureID = captureID;
    item.tags = request->tags;
    item.sourceURL = request->sourceURL;
    double now = services_.now();
    double created = request->createdAt + kReferenceDate;
    // An instant from a wrong clock must not pin the capture to the top of the library forever.
    item.createdAt = std::isfinite(created) && created <= now + 86400 ? created : now;

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
        fs::path payload = folder / name;
        if (!fs::is_regular_file(payload, ec))
          throw Unreadable("The capture's file " + name + " isn't in its folder.");
        item.kind = kindOfFile(name);
        item.fileName = name;
        if (const auto* type = platform::typeForExtension(platform::pathExtension(name)))
          item.mimeType = std::string(type->preferredMIMEType);
        item.title = request->title.value_or(titleOfFileName(name));
        if (item.kind == ItemKind::image) {
          if (auto bytes = readWhole(payload))
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
    setAside(folder, reason.what());
    return Outcome::setAside;
  }

  try {
    // The payload is linked, not moved: until the item commits, the folder stays whole.
    if (item.fileName) services_.files.adopt(item.id, *item.fileName, folder / *item.fileName);
    services_.library.addItem(item, note);
  } catch (const std::exception&) {
    // The library could not take it now (a full disk, a locked database): try again later.
    services_.files.remove(item.id);
    return Outcome::leftAlone;
  }
  remove(folder);
  return Outcome::imported;
}

void CaptureImporter::remove(const fs::path& folder) {
  std::error_code ec;
  fs::create_directories(trash_, ec);
  fs::path moved = trash_ / folder.filename();
  fs::remove_all(moved, ec);
  // One rename takes the whole folder out of the inbox at once; deleting it file by file
  // could be cut short and leave a payload without its request.json behind.
  if (fs::rename(folder, moved, ec); ec) moved = folder;
  fs::remove_all(moved, ec);
}

void CaptureImporter::setAside(const fs::path& folder, const std::string& reason) {
  std::error_code ec;
  fs::create_directories(rejected_, ec);
  fs::path target = rejected_ / folder.filename();
  for (int i = 2; fs::exists(target, ec); ++i)
    target = rejected_ / (folder.filename().string() + "-" + std::to_string(i));
  fs::rename(folder, target, ec);
  if (ec) {
    // Another disk, or no room: the capture stays in the inbox, with its reason beside it.
    target = folder;
  }
  std::ofstream(target / kReasonFileName) << reason << "\n";
  if (target == folder)
    fs::rename(folder / kRequestFileName, folder / "request.json.unreadable", ec);
}

}  // namespace nolt::host
