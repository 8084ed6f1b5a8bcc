#include "capture/incoming_request.h"

#include <array>
#include <boost/url/parse.hpp>

#include "capture/json_fields.h"
#include "wire/json_writer.h"

namespace nolt::capture {

namespace {

constexpr std::array<std::string_view, 3> kKindNames = {"link", "file", "text"};

using wire::JSONArray;
using wire::JSONObject;
using wire::JSONValue;

bool readKind(const JSONObject& object, IncomingRequest::Kind& kind) {
  const JSONValue* value = object.find("kind");
  const std::string* name = value ? value->string() : nullptr;
  if (!name) return false;
  for (std::size_t i = 0; i < kKindNames.size(); ++i) {
    if (kKindNames[i] == *name) {
      kind = static_cast<IncomingRequest::Kind>(i);
      return true;
    }
  }
  return false;
}

bool readOptionalURL(const JSONObject& object, std::string_view key,
                     std::optional<std::string>& url) {
  return readOptionalString(object, key, url) && (!url || isURLReference(*url));
}

bool readTags(const JSONObject& object, std::vector<std::string>& tags) {
  const JSONValue* value = object.find("tags");
  const JSONArray* array = value ? value->array() : nullptr;
  if (!array) return false;
  for (const JSONValue& element : *array) {
    if (!element.string()) return false;
    tags.push_back(*element.string());
  }
  return true;
}

}  // namespace

std::string_view kindName(IncomingRequest::Kind kind) {
  return kKindNames[static_cast<std::size_t>(kind)];
}

bool isAbsoluteURL(std::string_view text) { return boost::urls::parse_uri(text).has_value(); }

bool isURLReference(std::string_view text) {
  return !text.empty() && boost::urls::parse_uri_reference(text).has_value();
}

std::string IncomingRequest::encoded() const {
  std::string out;
  wire::JSONWriter writer(out, wire::JSONEncoding::plain);
  auto put = [&](std::string_view key, std::string_view value) {
    writer.key(key);
    writer.string(value);
  };
  writer.beginObject();
  put("kind", kindName(kind));
  if (url) put("url", *url);
  if (fileName) put("fileName", *fileName);
  if (text) put("text", *text);
  if (sourceURL) put("sourceURL", *sourceURL);
  if (title) put("title", *title);
  if (spaceID) put("spaceID", spaceID->uuidString());
  if (collectionID) put("collectionID", collectionID->uuidString());
  writer.key("tags");
  writer.beginArray();
  for (const std::string& tag : tags) writer.string(tag);
  writer.endArray();
  put("note", note);
  writer.key("createdAt");
  writer.number(createdAt);
  writer.endObject();
  return out;
}

std::optional<IncomingRequest> IncomingRequest::decode(std::string_view json) {
  std::optional<JSONValue> value = decodeObject(json);
  const JSONObject* object = value ? value->object() : nullptr;
  IncomingRequest request;
  if (!object || !readKind(*object, request.kind) ||
      !readOptionalURL(*object, "url", request.url) ||
      !readOptionalString(*object, "fileName", request.fileName) ||
      !readOptionalString(*object, "text", request.text) ||
      !readOptionalURL(*object, "sourceURL", request.sourceURL) ||
      !readOptionalString(*object, "title", request.title) ||
      !readOptionalUUID(*object, "spaceID", request.spaceID) ||
      !readOptionalUUID(*object, "collectionID", request.collectionID) ||
      !readTags(*object, request.tags) || !readString(*object, "note", request.note) ||
      !readNumber(*object, "createdAt", request.createdAt))
    return std::nullopt;
  return request;
}

}  // namespace nolt::capture
