#include "tests/support/view_test_setup.h"

#include <QDir>
#include <QQmlContext>
#include <QQmlEngine>
#include <QQuickStyle>
#include <QQuickWindow>
#include <utility>

namespace nolt::test_support {

QString ViewFixtures::artefact(const QString& name) const {
  QDir().mkpath(QStringLiteral(NOLT_ARTEFACTS_DIR));
  return QStringLiteral(NOLT_ARTEFACTS_DIR "/") + name + QStringLiteral(".png");
}

ViewTestSetup::ViewTestSetup(ViewFixtures& fixtures, QString style)
    : fixtures_(fixtures), style_(std::move(style)) {}

void ViewTestSetup::applicationAvailable() {
  // The software renderer: the same pixels on every machine, no GPU needed.
  QQuickWindow::setGraphicsApi(QSGRendererInterface::Software);
  if (!style_.isEmpty()) QQuickStyle::setStyle(style_);
}

void ViewTestSetup::qmlEngineAvailable(QQmlEngine* engine) {
  engine->addImportPath(QStringLiteral("qrc:/"));
  engine->rootContext()->setContextProperty(QStringLiteral("fixtures"), &fixtures_);
}

}  // namespace nolt::test_support
