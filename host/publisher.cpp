#include "host/publisher.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <set>
#include <system_error>

#include "capture/capture_destinations.h"
#include "platform/uuid.h"

namespace nolt::host {

using platform::entryNames;
using platform::openFolder;
using platform::writeFileAtomically;

namespace fs = std::filesystem;
using wire::JSONArray;
using wire::JSONObject;
using wire::JSONValue;

namespace {

std::optional<platform::UUID> uuidOf(const std::optional<std::string>& text) {
  if (!text) return std::nullopt;
  return platform::UUID::parse(*text);
}

capture::CaptureDestinations destinationsOf(Library& library) {
  capture::CaptureDestinations destinations;
  for (const Space& space : library.spaces())
    if (auto id = uuidOf(space.id))
      destinations.spaces.push_back(
          {*id, space.name, space.emoji, space.symbol, space.tintName, {}});
  for (const Collection& collection : library.collections())
    if (auto id = uuidOf(collection.id))
      destinations.collections.push_back(
          {*id, collection.name, "", "folder", "", uuidOf(collection.spaceID)});
  destinations.currentSpaceID = uuidOf(library.currentSpaceID());
  return destinations;
}

PosterKind posterKindOf(ItemKind kind) {
  switch (kind) {
    case ItemKind::video:
      return PosterKind::video;
    case ItemKind::pdf:
      return PosterKind::pdf;
    case ItemKind::link:
      return PosterKind::link;
    case ItemKind::text:
      return PosterKind::text;
    default:
      return PosterKind::file;
  }
}

}  // namespace

double widgetWeight(const Item& item, double now) {
  double ageDays = std::max(0.0, now - item.createdAt) / 86400;
  double recency = 1 + 4 * std::exp(-ageDays / 14);  // 5 when new, about 1 after two months
  return std::round(recency * (item.favorite ? 3 : 1) * 1000) / 1000;
}

JSONValue widgetSnapshotJSON(const std::vector<Item>& items, const std::vector<Space>& spaces,
                             const std::vector<Collection>& collections, double now) {
  JSONArray itemArray;
  for (const Item& item : items) {
    JSONObject entry{
        {"id", item.id},
        {"title", item.title},
        {"collectionIDs", JSONArray(item.collectionIDs.begin(), item.collectionIDs.end())},
        {"weight", widgetWeight(item, now)}};
    if (!item.spaceID.empty()) entry.set("spaceID", item.spaceID);
    itemArray.push_back(std::move(entry));
  }
  JSONArray spaceArray;
  for (const Space& space : spaces)
    spaceArray.push_back(JSONObject{{"id", space.id}, {"name", space.name}});
  JSONArray collectionArray;
  for (const Collection& collection : collections) {
    JSONObject entry{{"id", collection.id}, {"name", collection.name}};
    if (collection.spaceID) entry.set("spaceID", *collection.spaceID);
    collectionArray.push_back(std::move(entry));
  }
  return JSONObject{{"items", std::move(itemArray)},
                    {"spaces", std::move(spaceArray)},
                    {"collections", std::move(collectionArray)}};
}

void Publisher::writeThumbnail(const Item& item, int widget, const std::string& name) {
  std::optional<std::string> jpeg;
  if (item.kind == ItemKind::image && item.fileName)
    if (auto bytes = files_.read(item.id, *item.fileName))
      jpeg = images_.thumbnail(*bytes, kThumbnailSide);
  if (!jpeg) jpeg = images_.poster(posterKindOf(item.kind), item.id, kThumbnailSide, true).data;
  writeFileAtomically(widget, name, *jpeg, container_ / "Widget" / name);
}

void Publisher::publish() {
  std::lock_guard lock(mutex_);
  // Other programs write in the container too: its folders are opened without following a
  // link, and every file is put in place by rename, never written through what is there.
  UniqueFD container = openFolder(container_, true);
  if (!container) throw std::system_error(errno, std::generic_category(), container_.string());
  writeFileAtomically(container.get(), "destinations.json", destinationsOf(library_).encoded(),
                      container_ / "destinations.json");

  UniqueFD widget = openFolder(container.get(), "Widget", true);
  if (!widget)
    throw std::system_error(errno, std::generic_category(), (container_ / "Widget").string());
  // Only the newest are read, through the date index: publishing costs the same at any size.
  std::vector<Item> items = library_.items({}, kMaxWidgetItems, {true, false, false});
  std::set<std::string> wanted;
  for (const Item& item : items) {
    std::string name = item.id + ".jpg";
    wanted.insert(name);
    struct stat status;
    // Only a thumbnail the host wrote is kept; a link, a second name of some other file or
    // anything else put there is replaced.
    if (::fstatat(widget.get(), name.c_str(), &status, AT_SYMLINK_NOFOLLOW) != 0 ||
        !S_ISREG(status.st_mode) || status.st_nlink != 1)
      writeThumbnail(item, widget.get(), name);
  }
  std::string snapshot = widgetSnapshotJSON(items, library_.spaces(), library_.collections(),
                                            platform::secondsSince1970(clock_.now()))
                             .encode(wire::JSONEncoding::stream);
  writeFileAtomically(widget.get(), "widget.json", snapshot, container_ / "Widget" / "widget.json");

  // Thumbnails of items the snapshot no longer names are only clutter.
  for (const std::string& name : entryNames(widget.get(), kMaxWidgetItems * 4))
    if (name.size() == 40 && name.ends_with(".jpg") && !wanted.count(name))
      ::unlinkat(widget.get(), name.c_str(), 0);
}

}  // namespace nolt::host
