// host/publisher.h - the files the host keeps in the shared container for the other programs:
// destinations.json (the spaces and collections a capture may go to) and the widget snapshot,
// Widget/widget.json with one JPEG thumbnail per item. Each file is replaced atomically, and
// thumbnails are written before the snapshot that names them.
#pragma once

#include <filesystem>
#include <functional>
#include <mutex>

#include "host/file_store.h"
#include "host/image_codec.h"
#include "host/library.h"
#include "platform/wall_clock.h"
#include "wire/json_value.h"

namespace nolt::host {

inline constexpr int kThumbnailSide = 400;
// The newest items the widget may show; older ones still count in search.
inline constexpr std::size_t kMaxWidgetItems = 500;

class Publisher {
 public:
  Publisher(Library& library, FileStore& files, ImageCodec& images, std::filesystem::path container,
            platform::WallClock& clock)
      : library_(library),
        files_(files),
        images_(images),
        container_(std::move(container)),
        clock_(clock) {}

  // Writes every file anew (thumbnails only where missing); safe from several threads.
  // Throws std::system_error or StoreError when a file cannot be written.
  void publish();

 private:
  void writeThumbnail(const Item& item, int widget, const std::string& name);

  Library& library_;
  FileStore& files_;
  ImageCodec& images_;
  std::filesystem::path container_;
  platform::WallClock& clock_;
  std::mutex mutex_;
};

// How likely the widget is to show an item: recent ones and favourites more often.
double widgetWeight(const Item& item, double now);

// The snapshot's JSON for the items, spaces and collections.
wire::JSONValue widgetSnapshotJSON(const std::vector<Item>& items, const std::vector<Space>& spaces,
                                   const std::vector<Collection>& collections, double now);

}  // namespace nolt::host
