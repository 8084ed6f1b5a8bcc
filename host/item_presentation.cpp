#include "host/item_presentation.h"

#include <algorithm>
#include <boost/url/parse.hpp>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <ctime>

#include "host/taste.h"
#include "platform/deep_link.h"

namespace nolt::host {

using wire::JSONArray;
using wire::JSONObject;
using wire::JSONValue;

std::string spaceName(Library& library, const std::string& spaceID) {
  for (const Space& space : library.spaces())
    if (space.id == spaceID) return space.name;
  return {};
}

std::string isoDate(double secondsSince1970) {
  // Four-digit years only: a record from before dates were checked may hold any number.
  constexpr double kFirst = -62167219200;  // 0000-01-01T00:00:00Z
  constexpr double kLast = 253402300799;   // 9999-12-31T23:59:59Z
  double clamped =
      secondsSince1970 >= kFirst ? std::min(std::floor(secondsSince1970), kLast) : kFirst;
  std::time_t seconds = static_cast<std::time_t>(clamped);
  std::tm utc{};
  gmtime_r(&seconds, &utc);
  char text[64];
  std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02dZ", utc.tm_year + 1900,
                utc.tm_mon + 1, utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec);
  return text;
}

std::optional<std::string> siteOf(std::string_view url) {
  auto parsed = boost::urls::parse_absolute_uri(url);
  if (!parsed || parsed->encoded_host().empty()) return std::nullopt;
  std::string host(parsed->encoded_host());
  for (char& c : host) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (host.rfind("www.", 0) == 0) host.erase(0, 4);
  return host;
}

JSONValue itemJSON(Library& library, const Item& item) {
  JSONObject json{{"id", item.id},
                  {"kind", kindName(item.kind)},
                  {"title", item.title},
                  {"tags", JSONArray(item.tags.begin(), item.tags.end())},
                  {"favorite", item.favorite},
                  {"createdAt", isoDate(item.createdAt)}};
  if (item.url) json.set("url", *item.url);
  if (item.sourceURL) json.set("sourceURL", *item.sourceURL);
  if (item.fileName) json.set("fileName", *item.fileName);
  if (item.mimeType) json.set("mimeType", *item.mimeType);
  if (item.text) json.set("text", *item.text);
  if (item.width > 0) {
    json.set("width", item.width);
    json.set("height", item.height);
  }
  json.set("space", JSONObject{{"id", item.spaceID}, {"name", spaceName(library, item.spaceID)}});
  JSONArray collections;
  for (const Collection& collection : library.collections())
    for (const std::string& id : item.collectionIDs)
      if (collection.id == id)
        collections.push_back(JSONObject{{"id", collection.id}, {"name", collection.name}});
  json.set("collections", std::move(collections));
  JSONArray notes;
  for (const Note& note : library.notesOfItem(item.id))
    notes.push_back(JSONObject{{"id", note.id}, {"text", note.text}});
  json.set("notes", std::move(notes));
  json.set("colors", paletteJSON(item.colors));
  if (auto site = item.url ? siteOf(*item.url) : std::nullopt) json.set("site", *site);
  json.set("link", std::string(platform::kItemLinkPrefix) + item.id);
  return json;
}

}  // namespace nolt::host
