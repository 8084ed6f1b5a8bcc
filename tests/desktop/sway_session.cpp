#include "tests/desktop/sway_session.h"

#include <poll.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "tests/support/deadline.h"

namespace nolt::desktop_tests {

namespace {

namespace fs = std::filesystem;

// The user sway runs as when the tests run as root: nobody, who owns nothing else here.
constexpr int kUnprivileged = 65534;

// Reads `fd` a byte at a time until a line `wanted` came, for up to 10 s.
bool readLine(int fd, const std::string& wanted) {
  auto deadline = test_support::after(10);
  std::string line;
  for (;;) {
    pollfd ready{fd, POLLIN, 0};
    if (fd < 0 || ::poll(&ready, 1, test_support::millisecondsLeft(deadline)) <= 0) return false;
    char c = 0;
    if (::read(fd, &c, 1) != 1) return false;
    if (c != '\n') {
      line += c;
    } else if (line == wanted) {
      return true;
    } else {
      line.clear();
    }
  }
}

Environment toolEnvironment(const std::string& runtime) {
  return {{"PATH", "/usr/bin:/bin"}, {"XDG_RUNTIME_DIR", runtime}, {"HOME", runtime}};
}

}  // namespace

std::optional<std::string> SwaySession::missingTool() {
  for (const char* tool : {"sway", "swaymsg", "grim", "wtype", "setpriv"})
    if (!test_support::findOnPath(tool)) return tool;
  return std::nullopt;
}

SwaySession::SwaySession(const std::string& pointerProgram) {
  if (runtime_.path().empty() || missingTool()) return;
  // Floating windows where they are put; no borders, so that pictures show only the programs.
  runtime_.write("config",
                 "output HEADLESS-1 resolution 1024x768 position 0 0 background #404040 "
                 "solid_color\n"
                 "default_border none\ndefault_floating_border none\n"
                 "focus_follows_mouse no\n"
                 "for_window [app_id=\"plain_window\"] floating enable, "
                 "resize set 300 200, move position 500 450\n");
  std::vector<std::string> argv;
  if (geteuid() == 0) {
    std::error_code ignored;
    for (const auto& path : {runtime_.fsPath(), runtime_.fsPath() / "config"})
      if (::chown(path.c_str(), kUnprivileged, kUnprivileged) != 0) {
        problem_ = "could not hand " + path.string() + " to the unprivileged user";
        return;
      }
    const std::string user = std::to_string(kUnprivileged);
    argv = {"setpriv", "--reuid", user, "--regid", user, "--clear-groups", "--"};
  }
  for (const std::string& word : {std::string("sway"), std::string("-c"), runtime_.file("config")})
    argv.push_back(word);
  Environment environment = toolEnvironment(runtime_.path());
  environment.insert(
      {{"WLR_BACKENDS", "headless"}, {"WLR_RENDERER", "pixman"}, {"WLR_LIBINPUT_NO_DEVICES", "1"}});
  sway_.emplace(argv, environment, true);
  // sway is ready once both of its sockets are there and its IPC answers.
  bool answered = test_support::waitUntil(
      20,
      [&] {
        std::error_code ignored;
        for (const auto& entry : fs::directory_iterator(runtime_.fsPath(), ignored)) {
          std::string name = entry.path().filename().string();
          if (name.rfind("wayland-", 0) == 0 && name.find(".lock") == std::string::npos)
            wayland_ = entry.path().string();
          if (name.rfind("sway-ipc.", 0) == 0) ipc_ = entry.path().string();
        }
        return !wayland_.empty() && !ipc_.empty() && message({"-t", "get_version"}).status == 0;
      },
      0.05);
  if (!answered) {
    problem_ = "sway did not start";
    return;
  }
  // A headless seat has no keyboard, and a window mapped without one never gets the keyboard
  // focus: a virtual keyboard stays for the whole session (pressing Shift in a day's time).
  Environment typing = toolEnvironment(runtime_.path());
  typing["WAYLAND_DISPLAY"] = wayland_;
  keyboard_.emplace(std::vector<std::string>{"wtype", "-s", "86400000", "-k", "Shift_L"}, typing,
                    true);
  test_support::Subprocess::Options pointer;
  pointer.argv = {pointerProgram, "1024", "768"};
  pointer.environment = typing;
  pointer.input = test_support::Stream::pipe();
  pointer.output = test_support::Stream::pipe();
  pointer_.emplace(std::move(pointer));
  if (!readLine(pointer_->pipe(1), "ready")) {
    problem_ = "the virtual pointer did not come";
    return;
  }
  // Keyboard and pointer: capabilities 3.
  ready_ = test_support::waitUntil(
      10,
      [&] {
        return message({"-t", "get_seats"}).out.find("\"capabilities\": 3") != std::string::npos;
      },
      0.05);
  if (!ready_) problem_ = "the seat has no keyboard and pointer";
}

Environment SwaySession::programEnvironment(const std::string& home) const {
  Environment environment = toolEnvironment(home);
  environment["WAYLAND_DISPLAY"] = wayland_;
  environment["QT_QPA_PLATFORM"] = "wayland";
  for (const char* name : {"ASAN_OPTIONS", "UBSAN_OPTIONS", "LSAN_OPTIONS"})
    if (const char* value = std::getenv(name)) environment[name] = value;
  return environment;
}

Result SwaySession::message(std::vector<std::string> arguments, double timeout) const {
  arguments.insert(arguments.begin(), {"swaymsg", "-s", ipc_});
  return runTool(arguments, toolEnvironment(runtime_.path()), timeout);
}

QImage SwaySession::screenshot(const std::string& path) const {
  test_support::TempDir folder;
  Environment environment = toolEnvironment(runtime_.path());
  environment["WAYLAND_DISPLAY"] = wayland_;
  if (runTool({"grim", folder.file("screen.png")}, environment).status != 0) return {};
  QImage image(QString::fromStdString(folder.file("screen.png")));
  if (!path.empty()) {
    std::error_code ignored;
    fs::create_directories(fs::path(path).parent_path(), ignored);
    image.save(QString::fromStdString(path));
  }
  return image;
}

bool SwaySession::click(int x, int y) {
  if (!pointer_) return false;
  std::string line = "click " + std::to_string(x) + " " + std::to_string(y) + "\n";
  return ::write(pointer_->pipe(0), line.data(), line.size()) ==
             static_cast<ssize_t>(line.size()) &&
         readLine(pointer_->pipe(1), "done");
}

bool SwaySession::type(std::vector<std::string> keys) const {
  keys.insert(keys.begin(), "wtype");
  Environment environment = toolEnvironment(runtime_.path());
  environment["WAYLAND_DISPLAY"] = wayland_;
  return runTool(keys, environment).status == 0;
}

}  // namespace nolt::desktop_tests
