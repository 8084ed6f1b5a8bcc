// host/arguments.h - reading command arguments the way people send them, with texts that say
// what is wrong. Keys nobody reads are ignored; a null member counts as absent.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "host/library.h"
#include "wire/json_value.h"

namespace nolt::host {

// A text member (a number counts as its decimal text); fails when it is another kind.
std::optional<std::string> textArgument(const wire::JSONObject& arguments, std::string_view key);
// A whole number, or decimal digits in a string; fails for anything else.
std::optional<std::int64_t> integerArgument(const wire::JSONObject& arguments,
                                            std::string_view key);
// True only for JSON true or the text "true".
bool flagArgument(const wire::JSONObject& arguments, std::string_view key);
// A list of texts or a single text; blank entries and a leading "#" are dropped.
std::vector<std::string> tagsArgument(const wire::JSONObject& arguments, std::string_view key);

// Query words split on spaces; "#tag" words become tags.
struct QueryWords {
  std::vector<std::string> words;
  std::vector<std::string> tags;
};
QueryWords splitQuery(std::string_view query);

// A space by name (any case) or id; fails with a text naming it when there is none.
Space resolveSpace(Library& library, std::string_view nameOrID);
// A collection by name (any case) or id, within `spaceID` when given; fails when there is
// none, or when several spaces hold one of that name and no space was given.
Collection resolveCollection(Library& library, std::string_view nameOrID,
                             const std::optional<std::string>& spaceID);

// The space and collection named by "space" and "collection", if given.
struct Scope {
  std::optional<Space> space;
  std::optional<Collection> collection;
  Filter filter() const;
};
Scope resolveScope(Library& library, const wire::JSONObject& arguments);

}  // namespace nolt::host
