// widget/widget_model.h - one timeline entry as the view draws it, and the tap action.
#pragma once

#include <QtQml/qqmlregistration.h>

#include <QObject>
#include <QSize>
#include <QStringList>
#include <QTemporaryDir>
#include <QUrl>
#include <QVariantList>
#include <functional>
#include <memory>
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
// The bytes of the thumbnail at `path`, read within its cap without blocking or following a
// link; none when it cannot be read that way or is empty.
std::optional<std::string> readThumbnail(const std::string& path);
// "nolt://item/" and the upper-case identifier.
QString deepLink(const UUID& id);

class WidgetModel : public QObject {
  Q_OBJECT
  QML_ELEMENT
  QML_UNCREATABLE("made by the widget host")
  Q_PROPERTY(QString family READ family NOTIFY entryChanged)
  // One map per item, in display order: id, title, link (the deep link) and thumbnail (the
  // URL of a private copy of the host's file, made when the entry was set; empty when the file
  // is missing or unreadable, and the view then draws a placeholder).
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
  QUrl thumbnailCopy(const std::string& path, const UUID& id);

  Opener opener_;
  Family family_ = Family::systemSmall;
  QVariantList items_;
  std::unique_ptr<QTemporaryDir> copies_;  // made 0700, gone with the model
  QStringList shownCopies_, newCopies_;
  int copyCount_ = 0;
};

}  // namespace nolt::widget
