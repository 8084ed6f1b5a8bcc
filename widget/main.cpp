// nolt-widget: the desktop widget, and commands that print its timeline, its scopes and a
// picture of one entry, for scripts and tests.
#include <QtQml/qqmlextensionplugin.h>

#include <QCommandLineParser>
#include <QGuiApplication>
#include <QQmlApplicationEngine>
#include <QQuickStyle>
#include <QQuickWindow>
#include <algorithm>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <iostream>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/directories.h"
#include "platform/wall_clock.h"
#include "widget/command_line.h"
#include "widget/desktop_hints.h"
#include "widget/entry_renderer.h"
#ifdef NOLT_LAYER_SHELL
#include "widget/layer_shell.h"
#endif
#include "widget/stop_signals.h"
#include "widget/widget_host.h"
#include "wire/json_writer.h"

Q_IMPORT_QML_PLUGIN(Nolt_WidgetPlugin)

namespace nolt::widget {
namespace {

struct UsageError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

constexpr const char* kUsage =
    "usage: nolt-widget [--family small|medium|large] [--name NAME]\n"
    "       nolt-widget --help | --version\n"
    "       nolt-widget timeline [--family F] [--scope UUID] [--at UNIX_SECONDS]\n"
    "       nolt-widget scopes\n"
    "       nolt-widget render [--family F] [--scope UUID] [--at UNIX_SECONDS] [--scale N] "
    "OUT.png";

// Options with a value each, and the words that are left; help and version win over any
// mistake elsewhere on the line.
struct Arguments {
  std::map<std::string, std::string> options;
  std::vector<std::string> words;
  bool help = false;
  bool version = false;
  std::optional<std::string> mistake;
};

// Reads the words after the program (and after the command, if any) with QCommandLineParser:
// --name VALUE or --name=VALUE for each of `known`, the last one counting; "--" ends options.
Arguments parse(const std::vector<std::string>& args, std::initializer_list<const char*> known) {
  QCommandLineParser parser;
  QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")}, QString());
  QCommandLineOption version({QStringLiteral("v"), QStringLiteral("version")}, QString());
  parser.addOption(help);
  parser.addOption(version);
  for (const char* name : known)
    parser.addOption({QString::fromLatin1(name), QString(), QStringLiteral("value")});
  QStringList words{QStringLiteral("nolt-widget")};
  for (const std::string& arg : args) words << QString::fromLocal8Bit(arg);
  Arguments out;
  bool parsed = parser.parse(words);
  out.help = parser.isSet(help);
  out.version = parser.isSet(version);
  if (!parsed) out.mistake = parser.errorText().toStdString();
  // An option left without its value counts as set, with no value, and is the mistake.
  for (const char* name : known)
    if (QStringList values = parser.values(QString::fromLatin1(name)); !values.isEmpty())
      out.options[name] = values.constLast().toStdString();
  for (const QString& word : parser.positionalArguments()) out.words.push_back(word.toStdString());
  return out;
}

// Prints the usage or the version when asked for; fails on a mistake.
std::optional<int> answered(const Arguments& a) {
  if (a.help) {
    std::cout << kUsage << "\n";
    return 0;
  }
  if (a.version) {
    std::cout << "nolt-widget " NOLT_VERSION "\n";
    return 0;
  }
  if (a.mistake) throw UsageError(*a.mistake);
  return std::nullopt;
}

Family familyOption(const Arguments& a) {
  auto it = a.options.find("family");
  if (it == a.options.end()) return Family::systemSmall;
  if (auto family = familyNamed(it->second)) return *family;
  throw UsageError("--family must be small, medium or large, not \"" + it->second + "\"");
}

ChooseScopeIntent scopeOption(const Arguments& a) {
  auto it = a.options.find("scope");
  if (it == a.options.end()) return {};
  auto id = UUID::parse(it->second);
  if (!id) throw UsageError("--scope must be a UUID, not \"" + it->second + "\"");
  return {id};
}

double atOption(const Arguments& a) {
  auto it = a.options.find("at");
  if (it == a.options.end())
    return platform::secondsSince1970(platform::makeSystemWallClock()->now());
  const std::string& text = it->second;
  double at = 0;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), at);
  if (ec != std::errc() || end != text.data() + text.size() || !std::isfinite(at))
    throw UsageError("--at must be a number of seconds since 1970, not \"" + text + "\"");
  return at;
}

std::optional<std::string> container() {
  auto env = platform::makeProcessEnvironment();
  return platform::groupContainerPath(*env);
}

void noWords(const Arguments& a) {
  if (!a.words.empty()) throw UsageError("unexpected argument \"" + a.words.front() + "\"");
}

int runTimeline(const std::vector<std::string>& args) {
  Arguments a = parse(args, {"family", "scope", "at"});
  if (auto status = answered(a)) return *status;
  noWords(a);
  Family family = familyOption(a);
  ChooseScopeIntent configuration = scopeOption(a);
  double at = atOption(a);
  Provider provider([c = container()] { return loadSnapshot(c); });
  // One line in the form scripts' JSON libraries print: [{"date": 0, "items": ["…"]}, …].
  std::string out;
  wire::JSONWriter writer(out, wire::JSONEncoding::spaced);
  writer.beginArray();
  for (const Entry& entry : provider.timeline(configuration, family, at).entries) {
    writer.beginObject();
    writer.key("date");
    writer.number(entry.date);
    writer.key("items");
    writer.beginArray();
    for (const auto& item : entry.items) writer.string(item.id.uuidString());
    writer.endArray();
    writer.endObject();
  }
  writer.endArray();
  std::cout << out << "\n";
  return 0;
}

int runScopes(const std::vector<std::string>& args) {
  Arguments a = parse(args, {});
  if (auto status = answered(a)) return *status;
  noWords(a);
  ScopeQuery query([c = container()] { return loadSnapshot(c); });
  for (const auto& entity : query.suggestedEntities())
    std::cout << entity.id.uuidString() << "  " << entity.name << "\n";
  return 0;
}

int runRender(int argc, char** argv, const std::vector<std::string>& args) {
  Arguments a = parse(args, {"family", "scope", "at", "scale"});
  if (auto status = answered(a)) return *status;
  if (a.words.size() != 1) throw UsageError("render needs one output file");
  Family family = familyOption(a);
  ChooseScopeIntent configuration = scopeOption(a);
  double at = atOption(a);
  int scale = 1;
  if (auto it = a.options.find("scale"); it != a.options.end()) {
    const std::string& text = it->second;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), scale);
    if (ec != std::errc() || end != text.data() + text.size() || scale < 1 || scale > 8)
      throw UsageError("--scale must be a whole number from 1 to 8, not \"" + text + "\"");
  }
  // Off screen with the software renderer, so the picture is the same with or without a
  // display, and scaled by Qt's own device pixel ratio so text and images stay sharp.
  qputenv("QT_QPA_PLATFORM", "offscreen");
  qputenv("QT_SCALE_FACTOR", QByteArray::number(scale));
  qunsetenv("QT_SCREEN_SCALE_FACTORS");
  qunsetenv("QT_AUTO_SCREEN_SCALE_FACTOR");
  QGuiApplication app(argc, argv);
  QQuickWindow::setGraphicsApi(QSGRendererInterface::Software);
  auto c = container();
  Provider provider([c] { return loadSnapshot(c); });
  WidgetModel model(WidgetModel::desktopOpener());
  model.setEntry(provider.snapshot(configuration, family, at), family, c);
  QImage image = renderEntry(model, family);
  QSize expected = familySize(family) * scale;
  if (image.size() != expected) image = image.scaled(expected);
  if (image.isNull() || !image.save(QString::fromStdString(a.words.front()), "PNG"))
    throw std::runtime_error("could not write " + a.words.front());
  return 0;
}

#ifdef NOLT_LAYER_SHELL
bool offersLayerShell() { return compositorOffersLayerShell(); }
#else
bool offersLayerShell() { return false; }
bool placeOnBottomLayer(QWindow&, QMargins) { return false; }
#endif

// Where a layer-shell widget sits: the bottom-right corner, clear of the edge.
constexpr QMargins kCornerMargin(24, 24, 24, 24);

// The family and the name of the widget to show; fails on anything else.
std::pair<Family, std::string> placement(const Arguments& a) {
  answered(a);
  noWords(a);
  Family family = familyOption(a);
  std::string name = a.options.count("name") ? a.options.at("name") : "default";
  if (!isValidWidgetName(name))
    throw UsageError("--name may hold letters, digits, '.', '_' and '-' and not start with '.'");
  return {family, name};
}

int runWidget(int argc, char** argv) {
  // The widget's own options never reach Qt, whose platforms would take some of them; what Qt
  // leaves of the rest is a mistake. --help, --version and mistakes are answered without a
  // display, except on a line that may hold Qt's options (-platform NAME, …): that waits until
  // QGuiApplication took them out.
  SplitCommandLine line = splitCommandLine({argv + 1, argv + argc}, {"family", "name"});
  Arguments asked = parse(line.own, {"family", "name"});
  if (asked.help || asked.version) return *answered(asked);
  if (!holdsQtOptions(line.forQt)) {
    std::vector<std::string> all = line.own;
    all.insert(all.end(), line.forQt.begin(), line.forQt.end());
    placement(parse(all, {"family", "name"}));
  }
  std::vector<char*> qtArgv{argv[0]};
  for (std::string& word : line.forQt) qtArgv.push_back(word.data());
  qtArgv.push_back(nullptr);
  bool platformChosen = qEnvironmentVariableIsSet("QT_QPA_PLATFORM") || namesPlatform(line.forQt);
  if (prefersXWayland(platformChosen, qEnvironmentVariableIsSet("WAYLAND_DISPLAY"),
                      qEnvironmentVariableIsSet("DISPLAY"), offersLayerShell))
    qputenv("QT_QPA_PLATFORM", "xcb");
  int qtArgc = static_cast<int>(qtArgv.size()) - 1;
  QGuiApplication app(qtArgc, qtArgv.data());
  quitOnStopSignals(app);
  line.own.insert(line.own.end(), qtArgv.begin() + 1, qtArgv.begin() + qtArgc);
  auto [family, name] = placement(parse(line.own, {"family", "name"}));
  QGuiApplication::setApplicationName(QStringLiteral("nolt-widget"));
  QGuiApplication::setApplicationVersion(QStringLiteral(NOLT_VERSION));
  // Shells match the window to nolt-widget.desktop by this name (the Wayland app id).
  QGuiApplication::setDesktopFileName(QStringLiteral("nolt-widget"));
  QQuickStyle::setStyle(QStringLiteral("Basic"));
  auto env = platform::makeProcessEnvironment();
  auto clock = platform::makeSystemWallClock();
  WidgetHost host(family, QString::fromStdString(name),
                  {platform::groupContainerPath(*env), ScopeStore::forWidget(*env, name), *clock,
                   WidgetModel::desktopOpener()});
  host.update();
  QQmlApplicationEngine engine;
  engine.addImportPath(QStringLiteral("qrc:/"));
  // Made hidden, so the window manager sees the desktop-widget hints when it first maps it.
  engine.setInitialProperties(
      {{QStringLiteral("host"), QVariant::fromValue(&host)}, {QStringLiteral("visible"), false}});
  engine.load(QUrl(QStringLiteral("qrc:/Nolt/Widget/WidgetHostWindow.qml")));
  auto* window =
      engine.rootObjects().isEmpty() ? nullptr : qobject_cast<QWindow*>(engine.rootObjects()[0]);
  if (!window) throw std::runtime_error("could not show the widget");
  if (!placeOnBottomLayer(*window, kCornerMargin)) addDesktopWidgetHints(*window);
  window->show();
  return app.exec();
}

int run(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  std::string command = args.empty() ? "" : args[0];
  if (command == "help") {
    std::cout << kUsage << "\n";
    return 0;
  }
  std::vector<std::string> rest(args.begin() + (args.empty() ? 0 : 1), args.end());
  if (command == "timeline") return runTimeline(rest);
  if (command == "scopes") return runScopes(rest);
  if (command == "render") return runRender(argc, argv, rest);
  return runWidget(argc, argv);
}

}  // namespace
}  // namespace nolt::widget

int main(int argc, char** argv) {
  try {
    return nolt::widget::run(argc, argv);
  } catch (const nolt::widget::UsageError& e) {
    std::cerr << "nolt-widget: " << e.what() << "\n" << nolt::widget::kUsage << "\n";
    return 1;
  } catch (const std::exception& e) {
    std::cerr << "nolt-widget: " << e.what() << "\n";
    return 1;
  }
}
