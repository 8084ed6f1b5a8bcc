// capture/capture_destinations.h - the spaces and collections a capture can be filed under, as
// the host publishes them in destinations.json.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/environment.h"
#include "platform/uuid.h"
#include "wire/json_value.h"

namespace nolt::capture {

struct CaptureDestinations {
  // One space or collection.
  struct Place {
    platform::UUID id;
    std::string name;
    std::string emoji;                      // may be empty
    std::string symbol;                     // a symbol image name; carried along, may be empty
    std::string tintName;                   // a tint colour name; carried along, may be empty
    std::optional<platform::UUID> spaceID;  // a collection's space; none for no particular one

    friend auto operator<=>(const Place&, const Place&) = default;
  };

  std::vector<Place> spaces;
  std::vector<Place> collections;
  std::optional<platform::UUID> currentSpaceID;  // the space the host has open

  // Compact, in the order of the fields above, with "currentSpaceID" and a place's "spaceID"
  // left out when absent.
  std::string encoded() const;
  // The same members as a JSON value, for replies that carry the file's content.
  wire::JSONValue toJSON() const;
  // None when "spaces" or "collections" is missing, a place lacks a field, or any value has
  // the wrong type; keys it does not know are ignored.
  static std::optional<CaptureDestinations> decode(std::string_view json);

  friend bool operator==(const CaptureDestinations&, const CaptureDestinations&) = default;
};

// The destinations file as it is now. The file belongs to the host, which may be missing or
// halfway through replacing it: every failure to find, read or decode it gives the empty
// value, and nobody is told, because a capture with no destination offered is still a capture.
CaptureDestinations loadDestinations(platform::Environment& env);

}  // namespace nolt::capture
