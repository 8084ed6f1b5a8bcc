// tests/desktop/sway_session.h - a headless sway (the wlroots tiling compositor) for the tests
// of the widget and the share dialog on Wayland: checked with swaymsg and photographed with
// grim, typed into with wtype. sway will not run as root, so under root it runs as an
// unprivileged user (setpriv) in a runtime folder handed to that user. Skips when a tool is
// missing.
#pragma once

#include <QImage>
#include <optional>
#include <string>
#include <vector>

#include "tests/desktop/desktop_session.h"
#include "tests/support/temp_dir.h"

namespace nolt::desktop_tests {

class SwaySession {
 public:
  // The first tool of the session that is not installed; none when all are.
  static std::optional<std::string> missingTool();

  // Starts sway with the headless backend and the software renderer, one 1024×768 output, and
  // gives its seat a keyboard (wtype) and a mouse (`pointerProgram`, tests' virtual_pointer).
  explicit SwaySession(const std::string& pointerProgram);
  SwaySession(const SwaySession&) = delete;
  SwaySession& operator=(const SwaySession&) = delete;

  bool ready() const { return ready_; }
  const std::string& problem() const { return problem_; }

  // The environment of a Wayland program under test: the compositor's socket (by its full
  // path, so the program keeps `home` as its own runtime folder), Qt on Wayland, `home` as HOME.
  Environment programEnvironment(const std::string& home) const;

  // swaymsg with `arguments`; its output.
  Result message(std::vector<std::string> arguments, double timeout = 10) const;
  // The layout tree (swaymsg -t get_tree) as JSON text.
  std::string tree() const { return message({"-t", "get_tree"}).out; }
  // The whole output, from grim; a null image when that fails. Saved as `path` too, if given.
  QImage screenshot(const std::string& path = {}) const;
  // Types `keys` (wtype arguments: {"-k", "Escape"}) into the focused window.
  bool type(std::vector<std::string> keys) const;
  // Clicks the left button at `x`,`y` of the output; true once the compositor has it.
  bool click(int x, int y);

 private:
  test_support::TempDir runtime_;
  std::string wayland_, ipc_;
  std::optional<Program> sway_;
  std::optional<Program> keyboard_;
  std::optional<test_support::Subprocess> pointer_;
  bool ready_ = false;
  std::string problem_;
};

}  // namespace nolt::desktop_tests
