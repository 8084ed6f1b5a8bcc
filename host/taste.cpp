#include "host/taste.h"

#include <algorithm>
#include <cmath>
#include <optional>
#include <unordered_map>

#include "host/arguments.h"
#include "host/command_handlers.h"
#include "host/item_presentation.h"

namespace nolt::host {

namespace {

using wire::JSONArray;
using wire::JSONObject;
using wire::JSONValue;

constexpr std::size_t kPaletteSize = 8;
constexpr std::size_t kTopCount = 10;
// Colours closer than this (in RGB units) are one colour to the eye.
constexpr double kSameColour = 48;

struct RGB {
  double r = 0, g = 0, b = 0;
};

RGB rgbOf(const std::string& hex) {
  unsigned value = 0;
  if (hex.size() == 7) value = static_cast<unsigned>(std::stoul(hex.substr(1), nullptr, 16));
  return {double((value >> 16) & 255), double((value >> 8) & 255), double(value & 255)};
}

std::string hexOf(const RGB& c) {
  auto channel = [](double v) {
    return static_cast<unsigned>(std::clamp(std::lround(v), 0L, 255L));
  };
  char text[8];
  std::snprintf(text, sizeof text, "#%02X%02X%02X", channel(c.r), channel(c.g), channel(c.b));
  return text;
}

double distance(const RGB& a, const RGB& b) {
  return std::sqrt((a.r - b.r) * (a.r - b.r) + (a.g - b.g) * (a.g - b.g) +
                   (a.b - b.b) * (a.b - b.b));
}

double rounded(double value) { return std::round(value * 1000) / 1000; }

JSONValue countsJSON(const std::vector<std::pair<std::string, std::int64_t>>& counts,
                     const char* key) {
  JSONArray array;
  for (const auto& [text, count] : counts)
    array.push_back(JSONObject{{key, text}, {"count", count}});
  return array;
}

Tally allTags(const std::vector<Item>& items) {
  Tally tags;
  for (const Item& item : items)
    for (const std::string& tag : item.tags) tags.add(tag);
  return tags;
}

Tally allSites(const ItemTraits& traits) {
  Tally sites;
  for (const auto& [url, sourceURL] : traits.addresses) {
    std::optional<std::string> site = url ? siteOf(*url) : std::nullopt;
    if (!site && sourceURL) site = siteOf(*sourceURL);
    if (site) sites.add(*site);
  }
  return sites;
}

// Favourites count twice: the user marked them as what they like.
std::vector<Swatch> paletteOf(const std::vector<Item>& items) {
  std::vector<std::pair<std::vector<Swatch>, double>> parts;
  for (const Item& item : items)
    if (!item.colors.empty()) parts.emplace_back(item.colors, item.favorite ? 2.0 : 1.0);
  return mergePalettes(parts, kPaletteSize);
}

// Takes the item's strings: callers have no use for the item after.
JSONObject itemSummary(Item&& item) {
  JSONObject summary;
  summary.set("id", std::move(item.id));
  summary.set("title", std::move(item.title));
  summary.set("kind", kindName(item.kind));
  if (item.url) summary.set("url", std::move(*item.url));
  return summary;
}

// What people wrote about what they saved: notes on the scope's items, newest items first.
JSONValue whyJSON(Library& library, const Filter& scope, std::size_t count) {
  JSONArray why;
  for (const Note& note : library.notesOfItems(scope, static_cast<std::int64_t>(count))) {
    std::optional<Item> item = library.item(*note.itemID);
    why.push_back(JSONObject{{"item", *note.itemID},
                             {"title", item ? item->title : std::string()},
                             {"text", note.text}});
  }
  return why;
}

// Rules of the space (or every space) that are not tied to another collection.
JSONValue rulesJSON(Library& library, const std::optional<std::string>& spaceID,
                    const std::optional<std::string>& collectionID) {
  Filter filter;
  filter.spaceID = spaceID;
  JSONArray rules;
  for (const Note& note : library.notes(filter, true)) {
    if (note.collectionID && note.collectionID != collectionID) continue;
    rules.push_back(JSONObject{{"id", note.id}, {"title", note.title}, {"text", note.text}});
  }
  return rules;
}

}  // namespace

std::vector<Swatch> mergePalettes(const std::vector<std::pair<std::vector<Swatch>, double>>& parts,
                                  std::size_t count) {
  struct Cluster {
    RGB sum;  // colour times weight, summed
    double weight = 0;
    RGB centre() const { return {sum.r / weight, sum.g / weight, sum.b / weight}; }
  };
  std::vector<Cluster> clusters;
  for (const auto& [palette, scale] : parts) {
    for (const Swatch& swatch : palette) {
      double weight = swatch.weight * scale;
      if (!(weight > 0)) continue;
      RGB colour = rgbOf(swatch.hex);
      auto near = std::find_if(clusters.begin(), clusters.end(), [&](const Cluster& c) {
        return distance(c.centre(), colour) < kSameColour;
      });
      if (near == clusters.end()) near = clusters.insert(clusters.end(), Cluster{});
      near->sum.r += colour.r * weight;
      near->sum.g += colour.g * weight;
      near->sum.b += colour.b * weight;
      near->weight += weight;
    }
  }
  std::stable_sort(clusters.begin(), clusters.end(),
                   [](const Cluster& a, const Cluster& b) { return a.weight > b.weight; });
  if (clusters.size() > count) clusters.resize(count);
  double total = 0;
  for (const Cluster& c : clusters) total += c.weight;
  std::vector<Swatch> merged;
  for (const Cluster& c : clusters) merged.push_back({hexOf(c.centre()), c.weight / total});
  return merged;
}

JSONValue paletteJSON(const std::vector<Swatch>& palette) {
  JSONArray array;
  for (const Swatch& swatch : palette)
    array.push_back(JSONObject{{"hex", swatch.hex}, {"weight", rounded(swatch.weight)}});
  return array;
}

JSONValue noteJSON(const Note& note) {
  JSONArray tags(note.tags.begin(), note.tags.end());
  JSONObject json{{"id", note.id},     {"title", note.title},
                  {"rule", note.rule}, {"text", note.text},
                  {"tags", tags},      {"createdAt", isoDate(note.createdAt)}};
  if (note.itemID) json.set("item", *note.itemID);
  return json;
}

JSONValue tasteJSON(Library& library, const JSONObject& arguments) {
  Scope scope = resolveScope(library, arguments);
  Filter filter = scope.filter();
  // Every item of the scope counts, but only its tags, addresses and colours are read.
  ItemTraits traits = library.traits(filter);
  std::optional<std::string> spaceID;
  if (scope.space) spaceID = scope.space->id;
  if (!spaceID && scope.collection) spaceID = scope.collection->spaceID;
  std::optional<std::string> collectionID;
  if (scope.collection) collectionID = scope.collection->id;

  Filter favoritesOnly = filter;
  favoritesOnly.favoritesOnly = true;
  JSONArray favorites;
  for (Item& item : library.items(favoritesOnly, kTopCount * 2, {false, false, false}))
    favorites.push_back(itemSummary(std::move(item)));
  JSONObject taste{{"rules", rulesJSON(library, spaceID, collectionID)},
                   {"palette", paletteJSON(mergePalettes(traits.palettes, kPaletteSize))},
                   {"tags", countsJSON(traits.tags.top(kTopCount), "tag")},
                   {"sites", countsJSON(allSites(traits).top(kTopCount), "site")},
                   {"favorites", std::move(favorites)},
                   {"why", whyJSON(library, filter, kTopCount)},
                   {"items", traits.count}};
  if (scope.space) taste.set("space", scope.space->name);
  if (scope.collection) taste.set("collection", scope.collection->name);
  return taste;
}

JSONValue briefJSON(Library& library, const JSONObject& arguments) {
  std::string name = textArgument(arguments, "collection").value_or("");
  if (name.find_first_not_of(" \t") == std::string::npos)
    throw CommandError("Which collection? Give its name or ID, from list_collections.");
  std::optional<std::string> spaceID;
  if (auto space = textArgument(arguments, "space"); space && !space->empty())
    spaceID = resolveSpace(library, *space).id;
  Collection collection = resolveCollection(library, name, spaceID);

  Board board = library.board(collection.id, collection.spaceID);
  std::vector<Item>& items = board.items;
  const ItemTraits& usual = board.usual;

  // What sets the board apart: tags it uses at least twice as often as the whole space, and
  // colours far from every colour of the space's usual palette.
  std::vector<std::pair<std::string, std::int64_t>> boardTags = allTags(items).top(kTopCount);
  JSONArray distinctTags;
  for (const auto& [tag, count] : boardTags) {
    std::int64_t usualCount = usual.tags.countOf(tag);
    double share = double(count) / double(std::max<std::size_t>(1, items.size()));
    double usualShare = double(usualCount) / double(std::max<std::int64_t>(1, usual.count));
    if (share >= 2 * usualShare) distinctTags.push_back(tag);
  }
  std::vector<Swatch> boardPalette = paletteOf(items),
                      usualPalette = mergePalettes(usual.palettes, kPaletteSize);
  JSONArray distinctColours;
  for (const Swatch& swatch : boardPalette) {
    bool usualColour = std::any_of(
        usualPalette.begin(), usualPalette.begin() + std::min<std::size_t>(4, usualPalette.size()),
        [&](const Swatch& u) { return distance(rgbOf(u.hex), rgbOf(swatch.hex)) < kSameColour; });
    if (!usualColour) distinctColours.push_back(swatch.hex);
  }

  // The collection's notes: its own, and those on its items, which each reference lists too.
  Filter inCollection;
  inCollection.collectionID = collection.id;
  std::vector<Note> collectionNotes = library.notes(inCollection, false);
  JSONArray notes;
  for (const Note& note : collectionNotes)
    if (!note.rule) notes.push_back(noteJSON(note));
  // Each item's notes oldest first: the collection's notes come newest first.
  std::unordered_map<std::string_view, JSONArray> notesByItem;
  for (auto note = collectionNotes.rbegin(); note != collectionNotes.rend(); ++note)
    if (note->itemID) notesByItem[*note->itemID].push_back(std::move(note->text));
  // The items go into their references: nothing reads them after.
  JSONArray references;
  references.reserve(items.size());
  for (Item& item : items) {
    auto found = notesByItem.find(item.id);
    JSONArray itemNotes = found == notesByItem.end() ? JSONArray{} : std::move(found->second);
    JSONArray tags(std::make_move_iterator(item.tags.begin()),
                   std::make_move_iterator(item.tags.end()));
    JSONArray colours;
    colours.reserve(item.colors.size());
    for (Swatch& swatch : item.colors) colours.push_back(std::move(swatch.hex));
    JSONObject reference = itemSummary(std::move(item));
    reference.set("tags", std::move(tags));
    reference.set("notes", std::move(itemNotes));
    reference.set("colors", std::move(colours));
    references.push_back(std::move(reference));
  }
  JSONObject about{{"id", collection.id}, {"name", collection.name}};
  for (const Space& space : library.spaces())
    if (space.id == collection.spaceID) about.set("space", space.name);

  // Members set one by one: an initializer list would copy every reference.
  JSONObject brief;
  brief.set("collection", std::move(about));
  brief.set("rules", rulesJSON(library, collection.spaceID, collection.id));
  brief.set("notes", std::move(notes));
  brief.set("palette", paletteJSON(boardPalette));
  brief.set("tags", countsJSON(boardTags, "tag"));
  brief.set("distinct",
            JSONObject{{"tags", std::move(distinctTags)}, {"colors", std::move(distinctColours)}});
  brief.set("references", std::move(references));
  return brief;
}

}  // namespace nolt::host
