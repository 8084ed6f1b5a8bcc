#include "host/arguments.h"

#include <algorithm>
#include <cctype>

#include "host/command_handlers.h"
#include "platform/uuid.h"

namespace nolt::host {

namespace {

std::string inQuotes(std::string_view text) { return "“" + std::string(text) + "”"; }

const wire::JSONValue* present(const wire::JSONObject& arguments, std::string_view key) {
  const wire::JSONValue* value = arguments.find(key);
  return value && !value->isNull() ? value : nullptr;
}

std::string trimmed(std::string_view text) {
  auto blank = [](unsigned char c) { return std::isspace(c) != 0; };
  while (!text.empty() && blank(text.front())) text.remove_prefix(1);
  while (!text.empty() && blank(text.back())) text.remove_suffix(1);
  return std::string(text);
}

bool sameText(std::string_view a, std::string_view b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](unsigned char x, unsigned char y) {
    return std::tolower(x) == std::tolower(y);
  });
}

// The canonical form of a UUID text, so ids match whatever case they were typed in.
std::optional<std::string> canonicalID(std::string_view text) {
  auto uuid = platform::UUID::parse(trimmed(text));
  if (!uuid) return std::nullopt;
  return uuid->uuidString();
}

}  // namespace

std::optional<std::string> textArgument(const wire::JSONObject& arguments, std::string_view key) {
  const wire::JSONValue* value = present(arguments, key);
  if (!value) return std::nullopt;
  std::optional<std::string> text = value->stringValue();
  if (!text) throw CommandError(inQuotes(key) + " must be text.");
  return text;
}

std::optional<std::int64_t> integerArgument(const wire::JSONObject& arguments,
                                            std::string_view key) {
  const wire::JSONValue* value = present(arguments, key);
  if (!value) return std::nullopt;
  std::optional<std::int64_t> number = value->intValue();
  if (!number) throw CommandError(inQuotes(key) + " must be a whole number.");
  return number;
}

bool flagArgument(const wire::JSONObject& arguments, std::string_view key) {
  const wire::JSONValue* value = present(arguments, key);
  if (!value) return false;
  if (const bool* b = value->boolean()) return *b;
  return value->string() && *value->string() == "true";
}

std::vector<std::string> tagsArgument(const wire::JSONObject& arguments, std::string_view key) {
  const wire::JSONValue* value = present(arguments, key);
  std::vector<std::string> tags;
  if (!value) return tags;
  for (const std::string& raw : value->stringsValue()) {
    std::string tag = trimmed(raw);
    while (!tag.empty() && tag.front() == '#') tag.erase(0, 1);
    tag = trimmed(tag);
    if (tag.empty()) continue;
    if (std::none_of(tags.begin(), tags.end(), [&](const auto& t) { return sameText(t, tag); }))
      tags.push_back(tag);
  }
  return tags;
}

QueryWords splitQuery(std::string_view query) {
  QueryWords split;
  std::string word;
  auto flush = [&] {
    if (word.size() > 1 && word.front() == '#')
      split.tags.push_back(word.substr(1));
    else if (!word.empty() && word != "#")
      split.words.push_back(word);
    word.clear();
  };
  for (char c : query) {
    if (std::isspace(static_cast<unsigned char>(c)))
      flush();
    else
      word += c;
  }
  flush();
  return split;
}

Space resolveSpace(Library& library, std::string_view nameOrID) {
  std::string wanted = trimmed(nameOrID);
  std::optional<std::string> id = canonicalID(wanted);
  for (const Space& space : library.spaces())
    if (space.id == id || sameText(space.name, wanted)) return space;
  throw CommandError("There's no space named " + inQuotes(wanted) + ".");
}

Collection resolveCollection(Library& library, std::string_view nameOrID,
                             const std::optional<std::string>& spaceID) {
  std::string wanted = trimmed(nameOrID);
  std::optional<std::string> id = canonicalID(wanted);
  std::vector<Collection> named;
  for (const Collection& collection : library.collections()) {
    if (collection.id == id) return collection;
    if (sameText(collection.name, wanted) && (!spaceID || collection.spaceID == spaceID))
      named.push_back(collection);
  }
  if (named.size() == 1) return named.front();
  if (named.empty())
    throw CommandError("There's no collection named " + inQuotes(wanted) +
                       (spaceID ? " in that space." : "."));
  throw CommandError("Several spaces have a collection named " + inQuotes(wanted) +
                     "; name the space too.");
}

Filter Scope::filter() const {
  Filter filter;
  if (space) filter.spaceID = space->id;
  if (collection) filter.collectionID = collection->id;
  return filter;
}

Scope resolveScope(Library& library, const wire::JSONObject& arguments) {
  Scope scope;
  if (auto name = textArgument(arguments, "space"); name && !trimmed(*name).empty())
    scope.space = resolveSpace(library, *name);
  if (auto name = textArgument(arguments, "collection"); name && !trimmed(*name).empty()) {
    std::optional<std::string> spaceID;
    if (scope.space) spaceID = scope.space->id;
    scope.collection = resolveCollection(library, *name, spaceID);
  }
  return scope;
}

}  // namespace nolt::host
