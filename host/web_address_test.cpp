#include "host/web_address.h"

#include <gtest/gtest.h>

#include "host/testing/host_fixture.h"

namespace nolt::host {
namespace {

TEST(WebAddressTest, OnlyHttpAndHttpsWithAHost) {
  struct Case {
    const char* text;
    bool web;
  } cases[] = {
      {"https://example.com/a?b#c", true}, {"HTTP://Example.com", true},
      {"http://[::1]:8080/", true},        {"javascript:alert(document.cookie)", false},
      {"file:///etc/passwd", false},       {"data:text/html,<script>x</script>", false},
      {"ftp://example.com/file", false},   {"https:///no-host", false},
      {"https:relative", false},           {"//example.com/no-scheme", false},
      {"https://exa mple.com", false},     {"", false},
  };
  for (const Case& c : cases) EXPECT_EQ(isWebAddress(c.text), c.web) << c.text;
}

class AddLinkRuleTest : public testing::HostFixture {};

// add_link and the inbox share the rule: what one refuses the other refuses too.
TEST_F(AddLinkRuleTest, AddLinkTakesWhatTheRuleTakes) {
  EXPECT_EQ(*handlers_.handle("add_link", {{"url", "https://example.com/guide#setup"}})
                 .subscript("title"),
            wire::JSONValue("example.com/guide"));
  for (const char* url : {"javascript:alert(1)", "file:///etc/passwd"})
    EXPECT_THROW(handlers_.handle("add_link", {{"url", url}}), CommandError) << url;
}

}  // namespace
}  // namespace nolt::host
