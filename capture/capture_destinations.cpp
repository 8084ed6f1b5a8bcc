#include "capture/capture_destinations.h"

#include "capture/container.h"
#include "capture/json_fields.h"
#include "platform/careful_files.h"
#include "wire/json_writer.h"

namespace nolt::capture {

namespace {

using Place = CaptureDestinations::Place;
using wire::JSONArray;
using wire::JSONObject;
using wire::JSONValue;

// A place's members in the file's order.
std::vector<JSONObject::Member> membersOf(const Place& place) {
  std::vector<JSONObject::Member> members = {
      {"id", place.id.uuidString()}, {"name", place.name},         {"emoji", place.emoji},
      {"symbol", place.symbol},      {"tintName", place.tintName},
  };
  if (place.spaceID) members.emplace_back("spaceID", place.spaceID->uuidString());
  return members;
}

void writePlaces(wire::JSONWriter& writer, const std::vector<Place>& places) {
  writer.beginArray();
  for (const Place& place : places) writer.object(membersOf(place));
  writer.endArray();
}

JSONArray placesValue(const std::vector<Place>& places) {
  JSONArray array;
  array.reserve(places.size());
  for (const Place& place : places) array.emplace_back(JSONObject::fromMembers(membersOf(place)));
  return array;
}

bool readPlace(const JSONValue& value, Place& place) {
  const JSONObject* object = value.object();
  return object && readUUID(*object, "id", place.id) && readString(*object, "name", place.name) &&
         readString(*object, "emoji", place.emoji) && readString(*object, "symbol", place.symbol) &&
         readString(*object, "tintName", place.tintName) &&
         readOptionalUUID(*object, "spaceID", place.spaceID);
}

bool readPlaces(const JSONObject& object, std::string_view key, std::vector<Place>& places) {
  const JSONValue* value = object.find(key);
  const JSONArray* array = value ? value->array() : nullptr;
  if (!array) return false;
  places.resize(array->size());
  for (std::size_t i = 0; i < array->size(); ++i)
    if (!readPlace((*array)[i], places[i])) return false;
  return true;
}

}  // namespace

std::string CaptureDestinations::encoded() const {
  std::string out;
  wire::JSONWriter writer(out, wire::JSONEncoding::plain);
  writer.beginObject();
  writer.key("spaces");
  writePlaces(writer, spaces);
  writer.key("collections");
  writePlaces(writer, collections);
  if (currentSpaceID) {
    writer.key("currentSpaceID");
    writer.string(currentSpaceID->uuidString());
  }
  writer.endObject();
  return out;
}

JSONValue CaptureDestinations::toJSON() const {
  JSONObject object{{"spaces", placesValue(spaces)}, {"collections", placesValue(collections)}};
  if (currentSpaceID) object.set("currentSpaceID", currentSpaceID->uuidString());
  return object;
}

std::optional<CaptureDestinations> CaptureDestinations::decode(std::string_view json) {
  std::optional<JSONValue> value = decodeObject(json);
  const JSONObject* object = value ? value->object() : nullptr;
  CaptureDestinations destinations;
  if (!object || !readPlaces(*object, "spaces", destinations.spaces) ||
      !readPlaces(*object, "collections", destinations.collections) ||
      !readOptionalUUID(*object, "currentSpaceID", destinations.currentSpaceID))
    return std::nullopt;
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
