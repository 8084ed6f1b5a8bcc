// host/file_ledger.h - which folders of the file store the host may delete, kept in the
// library's database so that the database alone decides.
//
// Before a folder is made for an item that has not committed yet, its id is recorded here; the
// item's commit takes the record back in the same transaction (a trigger), and an item's
// deletion records it again. At start, a record still there names a folder whose item never
// committed or is gone, and only such folders are removed. Files the database does not know and
// never recorded are kept, whatever became of the database: an emptied, replaced or older one
// removes nothing.
#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "host/sqlite.h"

namespace nolt::host {

class FileLedger {
 public:
  // A connection of its own to the library at `databasePath` (":memory:" makes a ledger on its
  // own, for tests), with the ledger's table and triggers. Throws StoreError.
  explicit FileLedger(const std::string& databasePath);

  // Records that `itemID`'s folder is about to be made; durable when this returns.
  void recordPending(const std::string& itemID);
  // Ids whose folders may go: items that never committed or were deleted.
  std::vector<std::string> removable();
  // The folder of `itemID` is gone (or kept by its item); forget it.
  void forget(const std::string& itemID);

 private:
  std::mutex mutex_;
  Database db_;
};

// The ledger, or none when the library can't be written now (a read-only or full disk).
std::unique_ptr<FileLedger> openFileLedger(const std::string& databasePath);

}  // namespace nolt::host
