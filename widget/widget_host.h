// widget/widget_host.h - a placed desktop widget: plays the timeline and keeps its scope.
// It stands in for the desktop's widget machinery: it asks the provider for a timeline,
// shows each entry from its date, asks again once the last entry's date has come, and
// offers the scope query's entities for its configuration.
#pragma once

#include <QtQml/qqmlregistration.h>

#include <QFileSystemWatcher>
#include <QObject>
#include <QStringList>
#include <QTimer>
#include <functional>
#include <optional>
#include <string>

#include "platform/wall_clock.h"
#include "widget/scope_query.h"
#include "widget/scope_store.h"
#include "widget/widget_model.h"

namespace nolt::widget {

class WidgetHost : public QObject {
  Q_OBJECT
  QML_ELEMENT
  QML_UNCREATABLE("made by main()")
  Q_PROPERTY(nolt::widget::WidgetModel* model READ model CONSTANT)
  Q_PROPERTY(QSize size READ size CONSTANT)
  Q_PROPERTY(QString title READ title CONSTANT)
  Q_PROPERTY(QString configurationTitle READ configurationTitle CONSTANT)
  Q_PROPERTY(QString scopeTitle READ scopeTitle CONSTANT)
  Q_PROPERTY(QString scopeTypeName READ scopeTypeName CONSTANT)
  // "Whole library" first, then the suggested entities' names, as of the last refresh.
  Q_PROPERTY(QStringList scopeChoices READ scopeChoices NOTIFY scopeChoicesChanged)
  // The stored scope's place in scopeChoices: 0 for none or for one no longer offered.
  Q_PROPERTY(int scopeIndex READ scopeIndex NOTIFY scopeChoicesChanged)

 public:
  struct Services {
    std::optional<std::string> container;  // the shared container, if any
    std::optional<ScopeStore> store;       // none: the scope lasts only as long as the window
    platform::WallClock& clock;
    WidgetModel::Opener opener;
  };

  WidgetHost(Family family, QString name, Services services, QObject* parent = nullptr);

  WidgetModel* model() { return &model_; }
  QSize size() const { return familySize(family_); }
  QString title() const { return name_; }
  QString configurationTitle() const { return QString::fromUtf8(kIntentTitle); }
  QString scopeTitle() const { return QString::fromUtf8(kScopeParameterTitle); }
  QString scopeTypeName() const { return QString::fromUtf8(kScopeTypeName); }
  QStringList scopeChoices() const;
  int scopeIndex() const;
  std::optional<UUID> scope() const { return scope_; }

  // Reads the entities afresh, for the configuration dialog.
  Q_INVOKABLE void refreshScopes();
  // Keeps the choice at `index` of scopeChoices and starts a new timeline for it.
  Q_INVOKABLE void chooseScope(int index);
  // Shows the entry for now; a new timeline when there is none yet or its last date has come.
  Q_INVOKABLE void update();
  // A new timeline from now. The host publishes a new snapshot by writing the Widget folder,
  // which is watched: removed items must not stay on show until the timeline ends.
  void reload();

  // When the shown entry next changes, as the timer is set; none before the first update.
  std::optional<double> nextUpdate() const { return nextUpdate_; }

 signals:
  void scopeChoicesChanged();

 private:
  void watchSnapshot();

  Family family_;
  QString name_;
  Services services_;
  Provider provider_;
  ScopeQuery query_;
  WidgetModel model_;
  std::optional<UUID> scope_;
  std::vector<ScopeEntity> entities_;
  std::optional<Timeline> timeline_;
  const Entry* shown_ = nullptr;  // the entry in the model, within timeline_
  std::optional<double> nextUpdate_;
  QTimer timer_;
  QFileSystemWatcher watcher_;
  QTimer settle_;  // the host writes a snapshot and its thumbnails in a burst
};

}  // namespace nolt::widget
