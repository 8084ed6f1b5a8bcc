#include "tests/desktop/desktop_session.h"

#include <poll.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <utility>

#include "tests/support/deadline.h"

namespace nolt::desktop_tests {

namespace {

using test_support::after;
using test_support::Clock;
using test_support::millisecondsLeft;

// The descriptor Xvfb writes its display number to.
constexpr int kDisplayFD = 9;

// A program of the desktop, looked up on the test's PATH and run with exactly `environment`,
// in a process group of its own so that nothing it starts outlives a kill. Standard input is
// /dev/null; standard error is the test's own unless `quiet`.
test_support::Subprocess::Options desktopProgram(const std::vector<std::string>& argv,
                                                 const Environment& environment, bool quiet) {
  test_support::Subprocess::Options options;
  options.argv = argv;
  options.environment = environment;
  options.error = quiet ? test_support::Stream::null() : test_support::Stream::inherit();
  options.ownProcessGroup = true;
  return options;
}

// Reads `fd` to its end or the deadline.
std::string drain(int fd, Clock::time_point deadline) {
  std::string text;
  for (;;) {
    int left = millisecondsLeft(deadline);
    if (left == 0) break;
    pollfd wanted{fd, POLLIN, 0};
    if (poll(&wanted, 1, left) <= 0) break;
    char buffer[65536];
    ssize_t n = read(fd, buffer, sizeof buffer);
    if (n <= 0) break;
    text.append(buffer, static_cast<std::size_t>(n));
  }
  return text;
}

std::uint32_t bigEndian32(const std::string& data, std::size_t offset) {
  std::uint32_t value = 0;
  for (std::size_t i = 0; i < 4; ++i)
    value = value << 8 | static_cast<unsigned char>(data[offset + i]);
  return value;
}

}  // namespace

Result runTool(const std::vector<std::string>& argv, const Environment& environment,
               double timeout) {
  auto options = desktopProgram(argv, environment, true);
  options.output = test_support::Stream::pipe();
  return test_support::runToEnd(std::move(options), {}, timeout);
}

Program::Program(const std::vector<std::string>& argv, const Environment& environment, bool quiet)
    : process_(desktopProgram(argv, environment, quiet)) {}

int Program::wait(double timeout) {
  if (!process_.wait(timeout)) process_.kill();
  return test_support::exitCode(process_.status());
}

std::optional<std::string> DesktopSession::missingTool() {
  for (const char* tool : {"Xvfb", "openbox", "xdotool", "xprop", "wmctrl", "xwd"})
    if (!test_support::findOnPath(tool)) return tool;
  return std::nullopt;
}

DesktopSession::DesktopSession() {
  if (home_.path().empty() || missingTool()) return;
  // A display server that loses a race for its display number, or a window manager that
  // starts slowly on a loaded machine, gets one more go.
  for (int attempt = 0; attempt < 2 && !ready_; ++attempt) {
    if (attempt) {
      windowManager_.reset();
      if (server_) server_->stop(5);
      server_.reset();
      display_.clear();
    }
    ready_ = start();
  }
}

void DesktopSession::fail(const std::string& what) {
  if (!problem_.empty()) problem_ += "; then ";
  problem_ += what;
}

bool DesktopSession::start() {
  auto options = desktopProgram({"Xvfb", "-displayfd", std::to_string(kDisplayFD), "-screen", "0",
                                 "1024x768x24", "-wr", "-nolisten", "tcp"},
                                {{"PATH", "/usr/bin:/bin"}}, true);
  options.extra[kDisplayFD] = test_support::Stream::pipe();
  server_.emplace(std::move(options));
  std::string number;
  if (server_->started()) {
    auto deadline = after(10);
    while (number.find('\n') == std::string::npos && Clock::now() < deadline) {
      std::string more = drain(server_->pipe(kDisplayFD), deadline);
      if (more.empty()) break;
      number += more;
    }
  }
  server_->closePipe(kDisplayFD);
  while (!number.empty() && (number.back() == '\n' || number.back() == ' ')) number.pop_back();
  if (!server_->started() || number.empty()) {
    fail(server_->started() ? "Xvfb gave no display number" : "Xvfb did not start");
    return false;
  }
  display_ = ":" + number;

  // Openbox's own settings, less the workspace name it flashes over the screen on a switch.
  if (auto settings = test_support::readFile("/etc/xdg/openbox/rc.xml")) {
    const std::string flash = "<popupTime>875</popupTime>";
    if (auto at = settings->find(flash); at != std::string::npos)
      settings->replace(at, flash.size(), "<popupTime>0</popupTime>");
    home_.write(".config/openbox/rc.xml", *settings);
  }
  windowManager_.emplace(std::vector<std::string>{"openbox", "--sm-disable"}, environment(), true);
  if (test_support::waitUntil(
          10,
          [&] {
            return tool({"xprop", "-root", "_NET_SUPPORTING_WM_CHECK"}).out.find("window id") !=
                   std::string::npos;
          },
          0.05))
    return true;
  fail("openbox did not take display " + display_ + " within 10 s");
  return false;
}

DesktopSession::~DesktopSession() {
  windowManager_.reset();
  // Asked to end, the server takes its socket and lock file away.
  if (server_) server_->stop(5);
}

Environment DesktopSession::environment() const {
  Environment environment = {{"DISPLAY", display_},
                             {"PATH", "/usr/bin:/bin"},
                             {"HOME", home_.path()},
                             {"XDG_CONFIG_HOME", home_.path() + "/.config"},
                             {"XDG_CACHE_HOME", home_.path() + "/.cache"},
                             {"XDG_DATA_HOME", home_.path() + "/.local/share"},
                             // A program killed at the end leaves its temporary files here.
                             {"TMPDIR", home_.path()}};
  // Sanitizer builds check the programs under test with the test run's own settings, but for
  // two that a real display defeats: libxkbcommon-x11 hands strndup() a buffer that ends
  // before strndup's bound (which is allowed), and strict string checks read that bound whole;
  // and the drivers Qt loads and unloads leave allocations the leak checker cannot place (an
  // "unknown module"). Leaks of ours are checked by the offscreen view and model tests.
  test_support::passSanitizerSettings(environment);
  if (auto asan = environment.find("ASAN_OPTIONS"); asan != environment.end())
    asan->second += ":strict_string_checks=0:detect_leaks=0";
  return environment;
}

Environment DesktopSession::programEnvironment(const std::string& home) const {
  Environment environment = this->environment();
  for (const char* name : {"XDG_CONFIG_HOME", "XDG_CACHE_HOME", "XDG_DATA_HOME"})
    environment.erase(name);
  environment["HOME"] = home;
  environment["XDG_RUNTIME_DIR"] = home;
  environment["QT_QPA_PLATFORM"] = "xcb";
  return environment;
}

Result DesktopSession::tool(std::vector<std::string> argv, double timeout) const {
  return runTool(argv, environment(), timeout);
}

std::optional<std::string> DesktopSession::waitForWindow(pid_t pid, double timeout) const {
  return waitForWindow({"--pid", std::to_string(pid)}, timeout);
}

std::optional<std::string> DesktopSession::waitForWindow(const std::vector<std::string>& criteria,
                                                         double timeout) const {
  std::vector<std::string> search = {"xdotool", "search", "--onlyvisible"};
  search.insert(search.end(), criteria.begin(), criteria.end());
  std::optional<std::string> window;
  test_support::waitUntil(
      timeout,
      [&] {
        Result found = tool(search);
        if (found.status == 0 && !found.out.empty())
          window = found.out.substr(0, found.out.find('\n'));
        return window.has_value();
      },
      0.05);
  return window;
}

std::optional<std::string> DesktopSession::activeWindow() const {
  Result active = tool({"xdotool", "getactivewindow"});
  if (active.status != 0 || active.out.empty()) return std::nullopt;
  return active.out.substr(0, active.out.find('\n'));
}

bool DesktopSession::waitForFocus(const std::string& window, double timeout) const {
  return test_support::waitUntil(
      timeout, [&] { return activeWindow() == window; }, 0.05);
}

std::string DesktopSession::property(const std::string& window, const std::string& name) const {
  Result shown = tool({"xprop", "-id", window, name});
  if (shown.status != 0 || shown.out.find("not found") != std::string::npos) return "";
  return shown.out;
}

QImage DesktopSession::screenshot() const {
  return imageFromXWD(tool({"xwd", "-root", "-silent"}, 30).out);
}

QImage DesktopSession::settledScreen(double timeout) const {
  QImage previous, current = screenshot();
  test_support::waitUntil(
      timeout,
      [&] {
        previous = std::exchange(current, screenshot());
        return !current.isNull() && current == previous;
      },
      0.05);
  return current;
}

QImage DesktopSession::screenshot(const std::string& window) const {
  return imageFromXWD(tool({"xwd", "-id", window, "-silent"}, 30).out);
}

void DesktopSession::photograph(const std::string& path) const {
  std::error_code ignored;
  std::filesystem::create_directories(std::filesystem::path(path).parent_path(), ignored);
  settledScreen().save(QString::fromStdString(path));
}

QImage imageFromXWD(const std::string& data) {
  constexpr std::size_t kFields = 25;
  if (data.size() < kFields * 4) return {};
  auto field = [&](std::size_t i) { return bigEndian32(data, i * 4); };
  std::uint32_t headerSize = field(0), format = field(2), width = field(4), height = field(5),
                byteOrder = field(7), bitsPerPixel = field(11), bytesPerLine = field(12),
                red = field(14), green = field(15), blue = field(16), colours = field(19);
  constexpr std::uint32_t kZPixmap = 2;
  if (format != kZPixmap || (bitsPerPixel != 32 && bitsPerPixel != 24) || width == 0 ||
      height == 0 || width > 16384 || height > 16384 || red == 0 || green == 0 || blue == 0)
    return {};
  std::uint64_t start = std::uint64_t{headerSize} + std::uint64_t{colours} * 12;
  std::uint32_t bytesPerPixel = bitsPerPixel / 8;
  if (bytesPerLine < width * bytesPerPixel ||
      start + std::uint64_t{bytesPerLine} * height > data.size())
    return {};
  // A channel of a pixel, by its mask, scaled to 0…255.
  auto channel = [](std::uint32_t pixel, std::uint32_t mask) {
    int shift = __builtin_ctz(mask);
    std::uint32_t maximum = mask >> shift;
    return static_cast<int>(((pixel & mask) >> shift) * 255 / maximum);
  };
  QImage image(static_cast<int>(width), static_cast<int>(height), QImage::Format_RGB32);
  for (std::uint32_t y = 0; y < height; ++y) {
    auto* line = reinterpret_cast<QRgb*>(image.scanLine(static_cast<int>(y)));
    for (std::uint32_t x = 0; x < width; ++x) {
      std::size_t at = start + std::size_t{y} * bytesPerLine + std::size_t{x} * bytesPerPixel;
      std::uint32_t pixel = 0;
      for (std::uint32_t b = 0; b < bytesPerPixel; ++b) {
        auto byte = static_cast<std::uint32_t>(static_cast<unsigned char>(data[at + b]));
        pixel |= byteOrder == 0 ? byte << (8 * b) : byte << (8 * (bytesPerPixel - 1 - b));
      }
      line[x] = qRgb(channel(pixel, red), channel(pixel, green), channel(pixel, blue));
    }
  }
  return image;
}

}  // namespace nolt::desktop_tests
