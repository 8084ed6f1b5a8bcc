// widget/widget_model.h - one timeline entry as the view draws it, and the tap action.
#pragma once

#include <QtQml/qqmlregistration.h>

#include <QObject>
#include <QSize>
#include <QVariantList>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "widget/timeline.h"

namespace nolt::widget {

// "small", "medium" or "large"; none for anything else.
std::optional<Family> familyNamed(std::string_view name);
QString familyName(Family family);
// Small 170×170, medium 364×170, large 364×382, in device-independent pixels.
QSize familySize(Family family);
// "nolt://item/" and the upper-case identifier.
QString deepLink(const UUID& id);

class WidgetModel : public QObject {
  Q_OBJECT
  QML_ELEMENT
  QML_UNCREATABLE("made by the widget host")
  Q_PROPERTY(QString family READ family NOTIFY entryChanged)
  // One map per item, in display order: id, title, link (the deep link) and thumbnail (a file
  // URL; the file may be missing or unreadable, and the view then draws a placeholder).
  Q_PROPERTY(QVariantList items READ items NOTIFY entryChanged)

 public:
  using Opener = std::function<void(const QString& url)>;
  // The desktop's URL opener: xdg-open, started detached.
  static Opener desktopOpener();

  explicit WidgetModel(Opener opener, QObject* parent = nullptr);

  void setEntry(const Entry& entry, Family family, const std::optional<std::string>& container);

  QString family() const { return familyName(family_); }
  QVariantList items() const { return items_; }

  Q_INVOKABLE void open(const QString& link);

 signals:
  void entryChanged();

 private:
  Opener opener_;
  Family family_ = Family::systemSmall;
  QVariantList items_;
};

}  // namespace nolt::widget
