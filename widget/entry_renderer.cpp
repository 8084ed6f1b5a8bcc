#include "widget/entry_renderer.h"

#include <QCoreApplication>
#include <QQmlEngine>
#include <QQuickView>
#include <QUrl>

namespace nolt::widget {

QImage renderEntry(WidgetModel& model, Family family) {
  QQuickView view;
  view.setColor(Qt::black);
  view.engine()->addImportPath(QStringLiteral("qrc:/"));
  view.setInitialProperties({{QStringLiteral("model"), QVariant::fromValue(&model)}});
  view.setResizeMode(QQuickView::SizeRootObjectToView);
  view.setSource(QUrl(QStringLiteral("qrc:/Nolt/Widget/WidgetView.qml")));
  if (view.status() != QQuickView::Ready) return {};
  view.resize(familySize(family));
  view.show();
  // Grabbing before the window is exposed gives only the clear colour.
  for (int i = 0; i < 1000 && !view.isExposed(); ++i)
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
  return view.grabWindow();
}

}  // namespace nolt::widget
