// nolt-share: the share dialog. The desktop starts it with the shared things as arguments; it
// exits 0 once they are saved and the host told, 1 when the person cancels, 2 when the command
// line is wrong.
#include <QtQml/qqmlextensionplugin.h>

#include <QCoreApplication>
#include <QGuiApplication>
#include <QQmlEngine>
#include <QQuickStyle>
#include <QQuickView>
#include <iostream>
#include <string>
#include <vector>

#include "NoltShare/share_view_controller.h"
#include "platform/uuid.h"
#include "platform/wall_clock.h"

Q_IMPORT_QML_PLUGIN(Nolt_SharePlugin)

namespace {

std::vector<std::string> words(int argc, char** argv) { return {argv, argv + argc}; }

// Qt's own options are single-dash words; a line with none is wrong with or without Qt.
bool mayHoldQtOptions(const std::vector<std::string>& words) {
  for (std::size_t i = 1; i < words.size() && words[i] != "--"; ++i)
    if (words[i].size() > 1 && words[i][0] == '-' && words[i][1] != '-') return true;
  return false;
}

int wrongCommandLine(const QString& text) {
  std::cerr << "nolt-share: " << text.toStdString() << "\n"
            << "Try nolt-share --help.\n";
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace nolt;
  // --help and --version answer without a display, so they are read before the window system
  // is opened.
  share::ShareCommandLine line = share::readCommandLine(words(argc, argv));
  if (line.request == share::ShareCommandLine::Request::help ||
      line.request == share::ShareCommandLine::Request::version) {
    std::cout << (line.request == share::ShareCommandLine::Request::help
                      ? line.text.toStdString()
                      : std::string("nolt-share " NOLT_VERSION "\n"))
              << std::flush;
    return std::cout ? 0 : 1;
  }
  if (line.request == share::ShareCommandLine::Request::invalid &&
      !mayHoldQtOptions(words(argc, argv)))
    return wrongCommandLine(line.text);

  // QGuiApplication takes its own options (-platform NAME, …) out of argv; the rest is ours.
  QGuiApplication app(argc, argv);
  QGuiApplication::setApplicationName(QStringLiteral("nolt-share"));
  QGuiApplication::setApplicationVersion(QStringLiteral(NOLT_VERSION));
  QGuiApplication::setDesktopFileName(QStringLiteral("nolt-share"));
  QQuickStyle::setStyle(QStringLiteral("Basic"));
  line = share::readCommandLine(words(argc, argv));
  if (line.request != share::ShareCommandLine::Request::share) return wrongCommandLine(line.text);

  auto env = platform::makeProcessEnvironment();
  auto uuids = platform::makeRandomUUIDSource();
  auto notifications = platform::makeSessionBusNotificationCenter(*env);
  auto clock = platform::makeSystemWallClock();
  share::ExtensionContext context(share::itemsFromArguments(line.things), [](int status) {
    // The request ends from inside an action; the window closes once that has returned.
    QMetaObject::invokeMethod(
        qApp, [status] { QCoreApplication::exit(status); }, Qt::QueuedConnection);
  });

  QQmlEngine engine;
  engine.addImportPath(QStringLiteral("qrc:/"));
  share::ShareViewController controller(&context, {*env, *uuids, *clock}, *notifications);
  controller.loadView(engine);
  if (!controller.view()->rootObject()) {
    for (const auto& error : controller.view()->errors())
      std::cerr << "nolt-share: " << error.toString().toStdString() << "\n";
    return 1;
  }
  // A dialog, not a main window: X11 window managers read the type, and tiling Wayland
  // compositors (sway) float a window whose width cannot change, as they float dialogs.
  QQuickView* view = controller.view();
  view->setFlag(Qt::Dialog);
  view->setMinimumSize(view->size());
  view->setMaximumWidth(view->width());
  view->show();
  return app.exec();
}
