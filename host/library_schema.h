// host/library_schema.h - the library's tables and indexes, and bringing a library written by
// an earlier host up to them. PRAGMA user_version holds the schema's version.
#pragma once

#include "host/sqlite.h"

namespace nolt::host {

// 0: the first schema, whose search words were keyed by item id.
// 1: search words keyed by the item's rowid; an index on every column the commands filter by.
// 2: the tag index covers the item; favourites and rules are indexed by date.
inline constexpr int kSchemaVersion = 2;

// Creates the schema in an empty library, or migrates an older one, in one transaction. A
// library from a newer host is left as it is. Throws StoreError.
void prepareSchema(Database& db);

}  // namespace nolt::host
