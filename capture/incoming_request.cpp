#include "capture/incoming_request.h"

#include <array>
#include <boost/url/parse.hpp>

#include "capture/json_tokens.h"
#include "capture/json_writer.h"

namespace nolt::capture {

namespace {

constexpr std::array<std::string_view, 3> kKindNames = {"link", "file", "text"};

void putOptional(JSONObjectWriter& object, std::string_view key,
                 const std::optional<std::string>& value) {
  if (value) object.string(key, *value);
}

void putOptional(JSONObjectWriter& object, std::string_view key,
                 const std::optional<platform::UUID>& value) {
  if (value) object.string(key, value->uuidString());
}

bool readKind(JSONTokenReader& reader, IncomingRequest::Kind& kind) {
  std::string name;
  if (!reader.readString(name)) return false;
  for (std::size_t i = 0; i < kKindNames.size(); ++i) {
    if (kKindNames[i] == name) {
      kind = static_cast<IncomingRequest::Kind>(i);
      return true;
    }
  }
  return false;
}

bool readOptionalURL(JSONTokenReader& reader, std::optional<std::string>& url) {
  return reader.readOptionalString(url) && (!url || isURLReference(*url));
}

bool readOptionalUUID(JSONTokenReader& reader, std::optional<platform::UUID>& uuid) {
  std::optional<std::string> text;
  if (!reader.readOptionalString(text)) return false;
  if (!text) {
    uuid.reset();
    return true;
  }
  uuid = platform::UUID::parse(*text);
  return uuid.has_value();
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
  JSONObjectWriter object(out);
  object.string("kind", kindName(kind));
  putOptional(object, "url", url);
  putOptional(object, "fileName", fileName);
  putOptional(object, "text", text);
  putOptional(object, "sourceURL", sourceURL);
  putOptional(object, "title", title);
  putOptional(object, "spaceID", spaceID);
  putOptional(object, "collectionID", collectionID);
  std::string& list = object.key("tags");
  list += '[';
  for (std::size_t i = 0; i < tags.size(); ++i) {
    if (i) list += ',';
    appendJSONString(list, tags[i]);
  }
  list += ']';
  object.string("note", note);
  object.number("createdAt", createdAt);
  object.close();
  return out;
}

std::optional<IncomingRequest> IncomingRequest::decode(std::string_view json) {
  IncomingRequest request;
  bool hasKind = false, hasTags = false, hasNote = false, hasCreatedAt = false;
  bool ok = readJSONObject(json, [&](JSONTokenReader& reader, std::string_view key) {
    if (key == "kind") return hasKind = readKind(reader, request.kind);
    if (key == "url") return readOptionalURL(reader, request.url);
    if (key == "fileName") return reader.readOptionalString(request.fileName);
    if (key == "text") return reader.readOptionalString(request.text);
    if (key == "sourceURL") return readOptionalURL(reader, request.sourceURL);
    if (key == "title") return reader.readOptionalString(request.title);
    if (key == "spaceID") return readOptionalUUID(reader, request.spaceID);
    if (key == "collectionID") return readOptionalUUID(reader, request.collectionID);
    if (key == "tags") return hasTags = reader.readStrings(request.tags);
    if (key == "note") return hasNote = reader.readString(request.note);
    if (key == "createdAt") return hasCreatedAt = reader.readNumber(request.createdAt);
    reader.skipValue();
    return true;
  });
  if (!ok || !hasKind || !hasTags || !hasNote || !hasCreatedAt) return std::nullopt;
  return request;
}

}  // namespace nolt::capture
