// tests/desktop/desktop_session.h - a private X display (Xvfb) with the openbox window manager,
// and the outside tools that drive and inspect its windows: xdotool, xprop, wmctrl and xwd.
// Tests run the real programs on it as a person's desktop would, and skip when a tool is
// missing.
#pragma once

#include <sys/types.h>

#include <QImage>
#include <optional>
#include <string>
#include <vector>

#include "tests/support/subprocess.h"
#include "tests/support/test_host_process.h"

namespace nolt::desktop_tests {

using test_support::Environment;
using test_support::Result;

// Runs a program to its end and gives its standard output; killed after `timeout` seconds.
Result runTool(const std::vector<std::string>& argv, const Environment& environment,
               double timeout = 10);

// A program started in the background, killed (SIGKILL) and reaped when this object goes
// unless it has ended.
class Program {
 public:
  // Standard error is the test's own unless `quiet`.
  Program(const std::vector<std::string>& argv, const Environment& environment, bool quiet = false);
  Program(const Program&) = delete;
  Program& operator=(const Program&) = delete;

  pid_t pid() const { return process_.pid(); }
  // Waits up to `timeout` seconds for the exit; the exit status, or -1 (killed when late).
  int wait(double timeout = 30);

 private:
  test_support::Subprocess process_;
};

class DesktopSession {
 public:
  // The first tool of the session that is not installed; none when all are.
  static std::optional<std::string> missingTool();

  // Starts Xvfb on a free display and openbox on it, in a temporary HOME.
  DesktopSession();
  ~DesktopSession();
  DesktopSession(const DesktopSession&) = delete;
  DesktopSession& operator=(const DesktopSession&) = delete;

  // True once the window manager has taken the display.
  bool ready() const { return ready_; }
  // What went wrong when not ready.
  const std::string& problem() const { return problem_; }
  const std::string& display() const { return display_; }
  // DISPLAY, PATH, the session's HOME and the sanitizers' settings; programs under test add
  // their own.
  Environment environment() const;
  // The environment of a program under test on this display: Qt on X11, with `home` as HOME and
  // runtime folder and the XDG folders at their defaults below it.
  Environment programEnvironment(const std::string& home) const;

  // Runs xdotool, xprop, wmctrl … against this display.
  Result tool(std::vector<std::string> argv, double timeout = 10) const;
  // The first visible window of process `pid` (as xdotool prints it), waiting up to `timeout`.
  std::optional<std::string> waitForWindow(pid_t pid, double timeout = 20) const;
  // The same for other criteria of xdotool search: {"--class", "xlogo"}, {"--name", "Nolt"}.
  std::optional<std::string> waitForWindow(const std::vector<std::string>& criteria,
                                           double timeout = 20) const;
  // The focused window, as xdotool prints it; none when it cannot say.
  std::optional<std::string> activeWindow() const;
  // Waits until `window` has the keyboard focus.
  bool waitForFocus(const std::string& window, double timeout = 10) const;
  // One property of a window as xprop prints it ("_NET_WM_STATE(ATOM) = …"); empty if unset.
  std::string property(const std::string& window, const std::string& name) const;
  // The whole screen, read back from xwd; a null image when that fails.
  QImage screenshot() const;
  // What `window` shows, the same way.
  QImage screenshot(const std::string& window) const;
  // The screen once it has stopped changing: two screenshots in a row agree (Qt draws a little
  // after mapping a window, and menus fade in). The last one taken after `timeout` seconds.
  QImage settledScreen(double timeout = 5) const;
  // The settled screen saved as the PNG file `path`: pictures for people, not for assertions.
  void photograph(const std::string& path) const;

 private:
  bool start();
  void fail(const std::string& what);

  test_support::TempDir home_;
  std::string display_;
  std::optional<test_support::Subprocess> server_;
  std::optional<Program> windowManager_;
  bool ready_ = false;
  std::string problem_;
};

// The screen as xwd writes it (ZPixmap, 24 or 32 bits a pixel) as an image; null otherwise.
QImage imageFromXWD(const std::string& data);

}  // namespace nolt::desktop_tests
