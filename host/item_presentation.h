// host/item_presentation.h - how the host shows an item in its answers: the item's JSON with
// its space, collections, notes and palette, its dates and the site of its address.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "host/library.h"
#include "wire/json_value.h"

namespace nolt::host {

// The JSON the host shows for an item: everything it knows about it.
wire::JSONValue itemJSON(Library& library, const Item& item);
// "2026-12-08T06:47:23Z" for seconds since 1970; clamped to years 0000 to 9999.
std::string isoDate(double secondsSince1970);
// The name of the space with that id; empty when there is none.
std::string spaceName(Library& library, const std::string& spaceID);
// The host of an http(s) address without "www."; none for anything else.
std::optional<std::string> siteOf(std::string_view url);

}  // namespace nolt::host
