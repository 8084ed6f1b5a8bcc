#include "widget/entry_renderer.h"

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
  return view.grabWindow();
}

}  // namespace nolt::widget
