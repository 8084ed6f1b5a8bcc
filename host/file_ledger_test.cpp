#include "host/file_ledger.h"

#include <gtest/gtest.h>

#include "host/library.h"
#include "tests/support/temp_dir.h"

namespace nolt::host {
namespace {

// A folder recorded before its item commits is removable until the commit, and only then kept;
// the commit and the record share the database, so no other order of events can lose a file.
TEST(FileLedgerTest, AFolderIsRemovableUntilItsItemCommits) {
  test_support::TempDir temporary;
  std::string path = temporary.path() + "/library.sqlite";
  Library library(path);
  FileLedger ledger(path);
  const std::string committed = "00000000-0000-0000-0000-00000000000A";
  const std::string abandoned = "00000000-0000-0000-0000-00000000000B";
  ledger.recordPending(committed);
  ledger.recordPending(abandoned);
  EXPECT_EQ(ledger.removable(), (std::vector<std::string>{committed, abandoned}));
  Item item;
  item.id = committed;
  item.kind = ItemKind::file;
  item.title = "kept";
  item.fileName = "kept.pdf";
  item.spaceID = library.currentSpaceID().value_or("");
  library.addItem(item);
  EXPECT_EQ(ledger.removable(), std::vector<std::string>{abandoned});
  ledger.forget(abandoned);
  EXPECT_TRUE(ledger.removable().empty());
  // A second start finds the table and triggers as they were.
  FileLedger again(path);
  again.recordPending(abandoned);
  EXPECT_EQ(again.removable(), std::vector<std::string>{abandoned});
}

}  // namespace
}  // namespace nolt::host
