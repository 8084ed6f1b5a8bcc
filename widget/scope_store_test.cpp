#include "widget/scope_store.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "platform/testing/test_environment.h"
#include "tests/support/hostile_files.h"
#include "tests/support/temp_dir.h"

namespace nolt::widget {
namespace {

using platform::testing::TestEnvironment;

TEST(ScopeStoreTest, WidgetNamesCannotLeaveTheStateFolder) {
  for (const char* good : {"default", "desk-2", "Work_widget.v1"})
    EXPECT_TRUE(isValidWidgetName(good)) << good;
  for (const char* bad : {"", ".", "..", ".hidden", "a/b", "../x", "a b", "caf\xc3\xa9"})
    EXPECT_FALSE(isValidWidgetName(bad)) << bad;
  EXPECT_FALSE(isValidWidgetName(std::string(65, 'a')));
}

TEST(ScopeStoreTest, StateFolderComesFromXDGStateHomeThenHome) {
  TestEnvironment env;
  EXPECT_FALSE(ScopeStore::forWidget(env, "w"));
  env.variables = {{"HOME", "/home/u"}, {"XDG_STATE_HOME", "relative"}};
  EXPECT_EQ(ScopeStore::forWidget(env, "w")->path(), "/home/u/.local/state/nolt-widget/w");
  env.variables["XDG_STATE_HOME"] = "/state";
  EXPECT_EQ(ScopeStore::forWidget(env, "w")->path(), "/state/nolt-widget/w");
}

TEST(ScopeStoreTest, KeepsOnlyTheIdentifier) {
  test_support::TempDir folder;
  ASSERT_FALSE(folder.path().empty());
  const std::string& root = folder.path();
  ScopeStore store(root + "/state/nolt-widget/desk");
  EXPECT_FALSE(store.load());
  UUID scope = *UUID::parse("0a1b2c3d-4e5f-6071-8293-a4b5c6d7e8f9");
  ASSERT_TRUE(store.save(scope));
  EXPECT_EQ(store.load(), scope);
  std::ifstream file(store.path());
  std::string text((std::istreambuf_iterator<char>(file)), {});
  EXPECT_EQ(text, "0A1B2C3D-4E5F-6071-8293-A4B5C6D7E8F9\n");
  ASSERT_TRUE(store.save(std::nullopt));
  EXPECT_FALSE(store.load());
  EXPECT_TRUE(store.save(std::nullopt));  // nothing to remove is fine
  std::ofstream(store.path()) << "not a uuid";
  EXPECT_FALSE(store.load());
  // Whatever else stands there reads as no scope, at once.
  std::ofstream(root + "/elsewhere") << "0A1B2C3D-4E5F-6071-8293-A4B5C6D7E8F9\n";
  for (const test_support::HostileCase& c : test_support::kHostileCases) {
    SCOPED_TRACE(c.name);
    ASSERT_TRUE(test_support::plantHostile(c.kind, store.path(), 37, root + "/elsewhere"));
    std::optional<UUID> loaded = scope;
    EXPECT_TRUE(test_support::endsWithin(
        1, [&] { loaded = store.load(); }, store.path()));
    EXPECT_FALSE(loaded);
  }
  // Saving replaces a link planted at the name, or at the old fixed temporary name, and
  // writes through neither.
  std::ofstream(root + "/elsewhere") << "keep";
  std::filesystem::remove(store.path());
  std::filesystem::create_symlink(root + "/elsewhere", store.path());
  std::filesystem::create_symlink(root + "/elsewhere", root + "/state/nolt-widget/.desk.tmp");
  ASSERT_TRUE(store.save(scope));
  EXPECT_EQ(store.load(), scope);
  EXPECT_EQ(test_support::readFile(root + "/elsewhere"), "keep");
}

}  // namespace
}  // namespace nolt::widget
