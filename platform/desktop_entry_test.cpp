#include "platform/desktop_entry.h"

#include <gtest/gtest.h>

namespace nolt::platform {
namespace {

using Args = std::vector<std::string>;

TEST(DesktopEntryTest, ParseExecLine) {
  struct Case {
    const char* exec;
    Args arguments;  // empty: the line is refused
  };
  const Case cases[] = {
      {"nolt-host", {"nolt-host"}},
      {"/opt/nolt/host  --background\t-v", {"/opt/nolt/host", "--background", "-v"}},
      {"host %U", {"host"}},
      {"host %f %F %u %i %c %k", {"host"}},
      {"host %d %D %n %N %v %m", {"host"}},
      {"host --file=%f", {"host", "--file="}},
      {"host 100%%", {"host", "100%"}},
      {"host %%U", {"host", "%U"}},
      {R"("/opt/My Apps/host" "two words")", {"/opt/My Apps/host", "two words"}},
      {R"(host "")", {"host", ""}},
      {R"(host "a \"b\" \`c\` \$d")", {"host", "a \"b\" `c` $d"}},
      // The string escape turns \\\\ into \\, which the quoting turns into one backslash.
      {R"(host "back\\\\slash")", {"host", "back\\slash"}},
      // An escaped space is still a space to the quoting rules: only quotes keep it inside.
      {R"(host\sname arg)", {"host", "name", "arg"}},
      {R"("host\sname" a\tb)", {"host name", "a", "b"}},
      {R"(host pre"quoted part"post)", {"host", "prequoted partpost"}},
      {R"(host "a \x")", {"host", "a \\x"}},
      {"", {}},
      {"   ", {}},
      {"%U", {}},
      {R"("" arg)", {}},
      {R"(host "unclosed)", {}},
      {"host %z", {}},
      {"host 50%", {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.exec);
    ExecCommand command = parseExecLine(c.exec);
    if (c.arguments.empty()) {
      EXPECT_TRUE(command.error);
      EXPECT_TRUE(command.arguments.empty());
    } else {
      EXPECT_FALSE(command.error) << *command.error;
      EXPECT_EQ(command.arguments, c.arguments);
    }
  }
}

TEST(DesktopEntryTest, ValueComesFromTheDesktopEntryGroupOnly) {
  struct Case {
    const char* name;
    const char* text;
    std::optional<std::string> exec;
  };
  const Case cases[] = {
      {"plain", "[Desktop Entry]\nType=Application\nExec=host %U\n", "host %U"},
      {"spaces around =", "[Desktop Entry]\nExec = host \n", "host"},
      {"CRLF lines", "[Desktop Entry]\r\nExec=host\r\n", "host"},
      {"no final newline", "[Desktop Entry]\nExec=host", "host"},
      {"comments skipped", "# Exec=no\n[Desktop Entry]\n#Exec=no\nExec=yes\n", "yes"},
      {"localized key is another key", "[Desktop Entry]\nExec[de]=no\nExec=yes\n", "yes"},
      {"first occurrence", "[Desktop Entry]\nExec=one\nExec=two\n", "one"},
      {"other group first", "[Desktop Action New]\nExec=no\n[Desktop Entry]\nExec=yes\n", "yes"},
      {"action after entry", "[Desktop Entry]\nName=x\n[Desktop Action New]\nExec=no\n",
       std::nullopt},
      {"second entry group ignored", "[Desktop Entry]\nName=x\n[Other]\n[Desktop Entry]\nExec=no\n",
       std::nullopt},
      {"no group", "Exec=no\n", std::nullopt},
      {"key prefix", "[Desktop Entry]\nExecutable=no\n", std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(desktopEntryValue(c.text, "Exec"), c.exec);
  }
}

}  // namespace
}  // namespace nolt::platform
