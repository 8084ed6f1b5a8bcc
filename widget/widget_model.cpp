#include "widget/widget_model.h"

#include <QFileInfo>
#include <QProcess>
#include <QUrl>
#include <QVariantMap>

namespace nolt::widget {

std::optional<Family> familyNamed(std::string_view name) {
  if (name == "small") return Family::systemSmall;
  if (name == "medium") return Family::systemMedium;
  if (name == "large") return Family::systemLarge;
  return std::nullopt;
}

QString familyName(Family family) {
  switch (family) {
    case Family::systemSmall:
      return QStringLiteral("small");
    case Family::systemMedium:
      return QStringLiteral("medium");
    default:
      return QStringLiteral("large");
  }
}

QSize familySize(Family family) {
  switch (family) {
    case Family::systemSmall:
      return {170, 170};
    case Family::systemMedium:
      return {364, 170};
    default:
      return {364, 382};
  }
}

QString deepLink(const UUID& id) {
  auto text = id.text();
  return QStringLiteral("nolt://item/") + QString::fromLatin1(text.data(), text.size());
}

WidgetModel::Opener WidgetModel::desktopOpener() {
  return [](const QString& url) { QProcess::startDetached(QStringLiteral("xdg-open"), {url}); };
}

WidgetModel::WidgetModel(Opener opener, QObject* parent)
    : QObject(parent), opener_(std::move(opener)) {}

void WidgetModel::setEntry(const Entry& entry, Family family,
                           const std::optional<std::string>& container) {
  QVariantList items;
  for (const auto& item : entry.items) {
    QVariantMap map;
    map[QStringLiteral("id")] = QString::fromStdString(item.id.uuidString());
    map[QStringLiteral("title")] = QString::fromStdString(item.title);
    map[QStringLiteral("link")] = deepLink(item.id);
    // No source for a missing file shows the placeholder without the image loader's warning;
    // a file that is there but unreadable shows it too, from the view.
    QString thumbnail =
        container ? QString::fromStdString(thumbnailPath(*container, item.id)) : QString();
    map[QStringLiteral("thumbnail")] =
        QFileInfo::exists(thumbnail) ? QUrl::fromLocalFile(thumbnail) : QUrl();
    items.push_back(map);
  }
  family_ = family;
  items_ = std::move(items);
  emit entryChanged();
}

void WidgetModel::open(const QString& link) {
  // Only our own deep links are handed to the desktop, never whatever a view passes.
  if (!link.startsWith(QStringLiteral("nolt://item/"))) return;
  if (opener_) opener_(link);
}

}  // namespace nolt::widget
