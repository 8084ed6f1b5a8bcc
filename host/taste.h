// host/taste.h - the user's taste and a collection's design brief, worked out from the
// library: rules from notes marked as rules, a palette weighted from the images' colours, the
// most used tags and sites, favourites, and what people wrote about what they saved.
#pragma once

#include <vector>

#include "host/library.h"
#include "wire/json_value.h"

namespace nolt::host {

// Arguments "space" and "collection" narrow it.
wire::JSONValue tasteJSON(Library& library, const wire::JSONObject& arguments);
// Argument "collection" (name or id) is required; "space" picks among equal names.
wire::JSONValue briefJSON(Library& library, const wire::JSONObject& arguments);

// Colours of several items merged: near colours join, the heaviest `count` remain, weights
// scaled to add up to 1.
std::vector<Swatch> mergePalettes(const std::vector<std::pair<std::vector<Swatch>, double>>& parts,
                                  std::size_t count);

wire::JSONValue paletteJSON(const std::vector<Swatch>& palette);
wire::JSONValue noteJSON(const Note& note);

}  // namespace nolt::host
