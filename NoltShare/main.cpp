// nolt-share: the share dialog. The desktop starts it with the shared things as arguments; it
// exits 0 once they are saved and the host told, 1 when the person cancels.
#include <QtQml/qqmlextensionplugin.h>

#include <QGuiApplication>
#include <QQmlEngine>
#include <QQuickStyle>
#include <QQuickView>
#include <iostream>
#include <memory>
#include <optional>

#include "NoltShare/share_view_controller.h"
#include "NoltShare/test_keys.h"
#include "capture/inbox.h"
#include "platform/uuid.h"

Q_IMPORT_QML_PLUGIN(Nolt_SharePlugin)

int main(int argc, char** argv) {
  using namespace nolt;
  // --test-keys is for tests only and is taken out before the rest become items.
  std::vector<std::string> arguments;
  std::optional<QString> testKeys;
  for (int i = 1; i < argc; ++i) {
    std::string argument = argv[i];
    if (argument == "--") {
      arguments.insert(arguments.end(), argv + i, argv + argc);
      break;
    }
    if (argument.rfind("--test-keys=", 0) == 0)
      testKeys = QString::fromStdString(argument.substr(12));
    else
      arguments.push_back(argument);
  }

  QGuiApplication app(argc, argv);
  QGuiApplication::setApplicationName(QStringLiteral("nolt-share"));
  QGuiApplication::setDesktopFileName(QStringLiteral("nolt-share"));
  QQuickStyle::setStyle(QStringLiteral("Basic"));

  std::optional<std::vector<share::KeyStroke>> strokes;
  if (testKeys && !(strokes = share::parseTestKeys(*testKeys))) {
    std::cerr << "nolt-share: --test-keys: steps are =TEXT, Return, Enter, Escape, Tab, Backtab "
                 "or Backspace, separated by |\n";
    return 2;
  }

  auto env = platform::makeProcessEnvironment();
  auto uuids = platform::makeRandomUUIDSource();
  auto notifications = platform::makeSessionBusNotificationCenter(*env);
  share::ExtensionContext context(share::itemsFromArguments(arguments), [](int status) {
    // The request ends from inside an action; the window closes once that has returned.
    QMetaObject::invokeMethod(
        qApp, [status] { QCoreApplication::exit(status); }, Qt::QueuedConnection);
  });

  QQmlEngine engine;
  engine.addImportPath(QStringLiteral("qrc:/"));
  share::ShareViewController controller(
      &context, {*env, *uuids, capture::secondsSinceReferenceDate}, *notifications);
  controller.loadView(engine);
  if (!controller.view()->rootObject()) {
    for (const auto& error : controller.view()->errors())
      std::cerr << "nolt-share: " << error.toString().toStdString() << "\n";
    return 1;
  }
  controller.view()->show();
  std::unique_ptr<share::KeyTyper> typer;
  if (strokes) typer = std::make_unique<share::KeyTyper>(controller.view(), std::move(*strokes));
  return app.exec();
}
