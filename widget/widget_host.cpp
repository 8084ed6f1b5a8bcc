#include "widget/widget_host.h"

#include <QFileInfo>
#include <algorithm>
#include <cmath>

namespace nolt::widget {

WidgetHost::WidgetHost(Family family, QString name, Services services, QObject* parent)
    : QObject(parent),
      family_(family),
      name_(std::move(name)),
      services_(std::move(services)),
      provider_([container = services_.container] { return loadSnapshot(container); }),
      query_([container = services_.container] { return loadSnapshot(container); }),
      model_(services_.opener) {
  if (services_.store) scope_ = services_.store->load();
  timer_.setSingleShot(true);
  // Coarse timers may fire a little early; update() then simply sets the timer again.
  timer_.setTimerType(Qt::VeryCoarseTimer);
  connect(&timer_, &QTimer::timeout, this, &WidgetHost::update);
  settle_.setSingleShot(true);
  settle_.setInterval(1000);
  connect(&settle_, &QTimer::timeout, this, &WidgetHost::reload);
  auto changed = [this] {
    watchSnapshot();
    settle_.start();
  };
  connect(&watcher_, &QFileSystemWatcher::directoryChanged, this, changed);
  connect(&watcher_, &QFileSystemWatcher::fileChanged, this, changed);
  watchSnapshot();
}

void WidgetHost::watchSnapshot() {
  if (!services_.container) return;
  // The Widget folder, for files replaced by renaming, and the snapshot, for one rewritten in
  // place; until the folder exists, the container, to notice it being made.
  QString container = QString::fromStdString(*services_.container);
  QString folder = container + QStringLiteral("/Widget");
  QString snapshot = QString::fromStdString(snapshotPath(*services_.container));
  QStringList wanted =
      QFileInfo::exists(folder) ? QStringList{folder, snapshot} : QStringList{container};
  QStringList watched = watcher_.files() + watcher_.directories();
  for (const QString& path : watched)
    if (!wanted.contains(path)) watcher_.removePath(path);
  for (const QString& path : wanted)
    if (!watched.contains(path) && QFileInfo::exists(path)) watcher_.addPath(path);
}

QStringList WidgetHost::scopeChoices() const {
  QStringList choices{QStringLiteral("Whole library")};
  for (const auto& entity : entities_) choices.push_back(QString::fromStdString(entity.name));
  return choices;
}

int WidgetHost::scopeIndex() const {
  if (!scope_) return 0;
  auto it = std::find_if(entities_.begin(), entities_.end(),
                         [&](const ScopeEntity& e) { return e.id == *scope_; });
  return it == entities_.end() ? 0 : static_cast<int>(it - entities_.begin()) + 1;
}

void WidgetHost::refreshScopes() {
  entities_ = query_.suggestedEntities();
  emit scopeChoicesChanged();
}

void WidgetHost::chooseScope(int index) {
  if (index < 0 || index > static_cast<int>(entities_.size())) return;
  scope_ = index == 0 ? std::nullopt : std::optional(entities_[index - 1].id);
  // A scope that cannot be saved still applies to this window until it closes.
  if (services_.store) services_.store->save(scope_);
  emit scopeChoicesChanged();
  reload();
}

void WidgetHost::reload() {
  timeline_.reset();
  shown_ = nullptr;
  update();
}

void WidgetHost::update() {
  // The timeline's dates count seconds since 1970.
  double now = platform::secondsSince1970(services_.clock.now());
  // A new timeline at the start, once the last entry's date has come, and when the clock
  // was set back before the timeline's start.
  if (!timeline_ || now < timeline_->entries.front().date || !nextChange(*timeline_, now)) {
    timeline_ = provider_.timeline(ChooseScopeIntent{scope_}, family_, now);
    shown_ = nullptr;
  }
  const Entry* entry = currentEntry(*timeline_, now);
  if (entry != shown_) model_.setEntry(*entry, family_, services_.container);
  shown_ = entry;
  nextUpdate_ = nextChange(*timeline_, now);
  // Woken at least hourly, so a suspended machine catches up soon after it resumes.
  double wait = std::clamp(*nextUpdate_ - now, 1.0, 3600.0);
  timer_.start(static_cast<int>(std::ceil(wait * 1000)));
}

}  // namespace nolt::widget
