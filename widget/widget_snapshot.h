// widget/widget_snapshot.h - the library as the host publishes it for the widget.
// The host writes Widget/widget.json and one thumbnail per item into the shared container;
// the widget only reads them, afresh on every use.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/uuid.h"

namespace nolt::widget {

using platform::UUID;

struct WidgetSnapshot {
  struct Item {
    UUID id;
    std::string title;  // the tile's accessibility label
    std::optional<UUID> spaceID;
    std::vector<UUID> collectionIDs;
    double weight = 0;  // relative chance of being shown
  };

  // A space or a collection.
  struct Place {
    UUID id;
    std::string name;
    std::optional<UUID> spaceID;  // for a collection: the space it belongs to
  };

  std::vector<Item> items;
  std::vector<Place> spaces;
  std::vector<Place> collections;

  // Strict: none when the text is not JSON, a required key is missing anywhere, a value has
  // the wrong type or an identifier is not a UUID. Unknown keys are ignored; a null optional
  // field counts as absent.
  static std::optional<WidgetSnapshot> decode(std::string_view text);
};

// Where the files are, inside the shared container.
std::string snapshotPath(const std::string& container);                   // Widget/widget.json
std::string thumbnailPath(const std::string& container, const UUID& id);  // Widget/<ID>.jpg

// Reads and decodes the snapshot. Never fails: no container, no readable file or text that
// does not decode all give the empty snapshot, which the view shows as its empty state.
WidgetSnapshot loadSnapshot(const std::optional<std::string>& container);

}  // namespace nolt::widget
