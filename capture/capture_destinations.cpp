#include "capture/capture_destinations.h"

#include "capture/container.h"
#include "capture/json_tokens.h"
#include "capture/json_writer.h"
#include "platform/careful_files.h"

namespace nolt::capture {

namespace {

using Place = CaptureDestinations::Place;

void appendPlaces(std::string& out, const std::vector<Place>& places) {
  out += '[';
  for (std::size_t i = 0; i < places.size(); ++i) {
    if (i) out += ',';
    const Place& place = places[i];
    JSONObjectWriter object(out);
    object.string("id", place.id.uuidString());
    object.string("name", place.name);
    object.string("emoji", place.emoji);
    object.string("symbol", place.symbol);
    object.string("tintName", place.tintName);
    if (place.spaceID) object.string("spaceID", place.spaceID->uuidString());
    object.close();
  }
  out += ']';
}

bool readUUID(JSONTokenReader& reader, platform::UUID& uuid) {
  std::string text;
  if (!reader.readString(text)) return false;
  std::optional<platform::UUID> parsed = platform::UUID::parse(text);
  if (parsed) uuid = *parsed;
  return parsed.has_value();
}

bool readOptionalUUID(JSONTokenReader& reader, std::optional<platform::UUID>& uuid) {
  if (reader.readNull()) {
    uuid.reset();
    return true;
  }
  platform::UUID value;
  if (!readUUID(reader, value)) return false;
  uuid = value;
  return true;
}

bool readPlace(JSONTokenReader& reader, Place& place) {
  bool hasID = false, hasName = false, hasEmoji = false, hasSymbol = false, hasTint = false;
  bool ok = reader.readObject([&](std::string_view key) {
    if (key == "id") return hasID = readUUID(reader, place.id);
    if (key == "name") return hasName = reader.readString(place.name);
    if (key == "emoji") return hasEmoji = reader.readString(place.emoji);
    if (key == "symbol") return hasSymbol = reader.readString(place.symbol);
    if (key == "tintName") return hasTint = reader.readString(place.tintName);
    if (key == "spaceID") return readOptionalUUID(reader, place.spaceID);
    reader.skipValue();
    return true;
  });
  return ok && hasID && hasName && hasEmoji && hasSymbol && hasTint;
}

bool readPlaces(JSONTokenReader& reader, std::vector<Place>& places) {
  places.clear();
  return reader.readArray([&] {
    Place place;
    if (!readPlace(reader, place)) return false;
    places.push_back(std::move(place));
    return true;
  });
}

}  // namespace

std::string CaptureDestinations::encoded() const {
  std::string out;
  JSONObjectWriter object(out);
  appendPlaces(object.key("spaces"), spaces);
  appendPlaces(object.key("collections"), collections);
  if (currentSpaceID) object.string("currentSpaceID", currentSpaceID->uuidString());
  object.close();
  return out;
}

std::optional<CaptureDestinations> CaptureDestinations::decode(std::string_view json) {
  CaptureDestinations destinations;
  bool hasSpaces = false, hasCollections = false;
  bool ok = readJSONObject(json, [&](JSONTokenReader& reader, std::string_view key) {
    if (key == "spaces") return hasSpaces = readPlaces(reader, destinations.spaces);
    if (key == "collections") return hasCollections = readPlaces(reader, destinations.collections);
    if (key == "currentSpaceID") return readOptionalUUID(reader, destinations.currentSpaceID);
    reader.skipValue();
    return true;
  });
  if (!ok || !hasSpaces || !hasCollections) return std::nullopt;
  return destinations;
}

CaptureDestinations loadDestinations(platform::Environment& env) {
  std::optional<std::filesystem::path> url = destinationsURL(env);
  if (!url) return {};
  // Anyone can put a FIFO, a link to a device or a file of gigabytes at that name: it is
  // opened without blocking, never through a link, and read only up to its cap.
  std::optional<std::string> bytes =
      platform::readRegularFile(url->string(), platform::kMaxDestinationsBytes);
  if (!bytes) return {};
  return CaptureDestinations::decode(*bytes).value_or(CaptureDestinations{});
}

}  // namespace nolt::capture
