#include "host/file_ledger.h"

namespace nolt::host {

namespace {

// IF NOT EXISTS throughout: this runs at every start, after any change the schema itself went
// through, and puts back triggers that a rebuilt items table lost. The table of items may be
// missing in a ledger made on its own (tests); the triggers then wait for it.
constexpr const char* kLedgerSchema = R"sql(
CREATE TABLE IF NOT EXISTS file_removals (item_id TEXT PRIMARY KEY) WITHOUT ROWID;
)sql";

constexpr const char* kLedgerTriggers = R"sql(
CREATE TRIGGER IF NOT EXISTS file_removals_kept AFTER INSERT ON items BEGIN
  DELETE FROM file_removals WHERE item_id = new.id;
END;
CREATE TRIGGER IF NOT EXISTS file_removals_gone AFTER DELETE ON items BEGIN
  INSERT OR IGNORE INTO file_removals (item_id) VALUES (old.id);
END;
)sql";

}  // namespace

FileLedger::FileLedger(const std::string& databasePath) : db_(databasePath) {
  // A record only has to outlive the process, not the machine: after a power cut a lost record
  // keeps a folder, it never removes one. The items' own commits stay fully synchronous.
  db_.execute("PRAGMA synchronous = NORMAL;");
  db_.execute(kLedgerSchema);
  Statement items =
      db_.prepare("SELECT count(*) FROM sqlite_schema WHERE type = 'table' AND name = 'items'");
  items.step();
  if (items.integer(0) > 0) db_.execute(kLedgerTriggers);
}

void FileLedger::recordPending(const std::string& itemID) {
  std::lock_guard lock(mutex_);
  db_.run("INSERT OR IGNORE INTO file_removals (item_id) VALUES (?)", itemID);
}

std::vector<std::string> FileLedger::removable() {
  std::lock_guard lock(mutex_);
  std::vector<std::string> ids;
  Statement rows = db_.prepare("SELECT item_id FROM file_removals ORDER BY item_id");
  while (rows.step()) ids.push_back(rows.text(0));
  return ids;
}

void FileLedger::forget(const std::string& itemID) {
  std::lock_guard lock(mutex_);
  db_.run("DELETE FROM file_removals WHERE item_id = ?", itemID);
}

std::unique_ptr<FileLedger> openFileLedger(const std::string& databasePath) {
  try {
    return std::make_unique<FileLedger>(databasePath);
  } catch (const StoreError&) {
    return nullptr;
  }
}

}  // namespace nolt::host
