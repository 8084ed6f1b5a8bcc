#include "widget/widget_model.h"

#include <QFile>
#include <QProcess>
#include <QUrl>
#include <QVariantMap>
#include <utility>

#include "platform/careful_files.h"
#include "platform/deep_link.h"

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

std::optional<std::string> readThumbnail(const std::string& path) {
  std::optional<std::string> bytes = platform::readRegularFile(path, platform::kMaxThumbnailBytes);
  if (!bytes || bytes->empty()) return std::nullopt;
  return bytes;
}

QString deepLink(const UUID& id) { return QString::fromStdString(platform::itemLink(id)); }

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
    // bytes that are not a picture show it too, from the view.
    map[QStringLiteral("thumbnail")] =
        container ? thumbnailCopy(thumbnailPath(*container, item.id), item.id) : QUrl();
    items.push_back(map);
  }
  family_ = family;
  items_ = std::move(items);
  emit entryChanged();
  // The view has loaded the new copies; the previous entry's are no longer shown.
  for (const QString& file : std::exchange(shownCopies_, std::move(newCopies_)))
    QFile::remove(file);
}

QUrl WidgetModel::thumbnailCopy(const std::string& path, const UUID& id) {
  // The host's file, which anyone could have replaced with a FIFO or a huge file: its bytes
  // are read here, without blocking and within the cap, and the image loader is given a copy
  // in a private folder of ours. A data: URL would do too, but Qt loads those on a thread of
  // its own, after the entry has been drawn.
  std::optional<std::string> bytes = readThumbnail(path);
  if (!bytes) return {};
  if (!copies_) copies_ = std::make_unique<QTemporaryDir>();
  if (!copies_->isValid()) return {};
  // A fresh name for every entry: the view reloads a source only when its name changes.
  QString name = copies_->filePath(QString::fromStdString(id.uuidString()) + QLatin1Char('-') +
                                   QString::number(++copyCount_) + QStringLiteral(".jpg"));
  QFile file(name);
  if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly) ||
      file.write(bytes->data(), static_cast<qint64>(bytes->size())) !=
          static_cast<qint64>(bytes->size()))
    return {};
  newCopies_.push_back(name);
  return QUrl::fromLocalFile(name);
}

void WidgetModel::open(const QString& link) {
  // Only our own deep links are handed to the desktop, never whatever a view passes.
  if (!platform::itemOfLink(link.toStdString())) return;
  if (opener_) opener_(link);
}

}  // namespace nolt::widget
