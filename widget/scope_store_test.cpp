#include "widget/scope_store.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <map>

namespace nolt::widget {
namespace {

class Variables final : public platform::Environment {
 public:
  std::map<std::string, std::string> values;
  std::optional<std::string> variable(const std::string& name) override {
    auto it = values.find(name);
    return it == values.end() ? std::nullopt : std::optional(it->second);
  }
  uid_t userID() override { return 0; }
  bool isOwnedDirectory(const std::string&) override { return false; }
};

TEST(ScopeStoreTest, WidgetNamesCannotLeaveTheStateFolder) {
  for (const char* good : {"default", "desk-2", "Work_widget.v1"})
    EXPECT_TRUE(isValidWidgetName(good)) << good;
  for (const char* bad : {"", ".", "..", ".hidden", "a/b", "../x", "a b", "caf\xc3\xa9"})
    EXPECT_FALSE(isValidWidgetName(bad)) << bad;
  EXPECT_FALSE(isValidWidgetName(std::string(65, 'a')));
}

TEST(ScopeStoreTest, StateFolderComesFromXDGStateHomeThenHome) {
  Variables env;
  EXPECT_FALSE(ScopeStore::forWidget(env, "w"));
  env.values = {{"HOME", "/home/u"}, {"XDG_STATE_HOME", "relative"}};
  EXPECT_EQ(ScopeStore::forWidget(env, "w")->path(), "/home/u/.local/state/nolt-widget/w");
  env.values["XDG_STATE_HOME"] = "/state";
  EXPECT_EQ(ScopeStore::forWidget(env, "w")->path(), "/state/nolt-widget/w");
}

TEST(ScopeStoreTest, KeepsOnlyTheIdentifier) {
  char pattern[] = "/tmp/nolt-scope-store-XXXXXX";
  ASSERT_TRUE(mkdtemp(pattern));
  std::string root = pattern;
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
  std::filesystem::remove_all(root);
}

}  // namespace
}  // namespace nolt::widget
