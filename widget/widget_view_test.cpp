// Runs the QML view tests (tst_*.qml) with fixtures: models over thumbnails written to a
// temporary container, and an opener that records instead of launching.
#include <QtQml/qqmlextensionplugin.h>
#include <QtQuickTest/quicktest.h>

#include <QDir>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QQmlEngine>
#include <QTemporaryDir>
#include <cstdio>

#include "platform/testing/fake_wall_clock.h"
#include "tests/support/view_test_setup.h"
#include "widget/widget_host.h"

Q_IMPORT_QML_PLUGIN(Nolt_WidgetPlugin)

namespace nolt::widget {

class Fixtures : public test_support::ViewFixtures {
  Q_OBJECT
  Q_PROPERTY(QString lastOpened MEMBER lastOpened_ NOTIFY openedChanged)

 public:
  // A model of `family` with one item per thumbnail: a colour name gives a solid thumbnail,
  // "wide" one of 400×100 in red, green and blue thirds, and "" no file at all. Thumbnails
  // are PNG data under the .jpg name the host uses.
  Q_INVOKABLE QObject* model(const QString& family, const QStringList& thumbnails) {
    Entry entry;
    for (int i = 0; i < thumbnails.size(); ++i) {
      WidgetSnapshot::Item item;
      item.id = itemID(i);
      item.title = "Item " + std::to_string(i + 1);
      entry.items.push_back(item);
      writeThumbnail(item.id, thumbnails[i]);
    }
    auto* model = new WidgetModel([this](const QString& url) {
      lastOpened_ = url;
      emit openedChanged();
    });
    model->setEntry(entry, *familyNamed(family.toStdString()), container_.path().toStdString());
    QQmlEngine::setObjectOwnership(model, QQmlEngine::JavaScriptOwnership);
    return model;
  }

  // A placed widget over a snapshot of four items, the spaces Work and Home, and the
  // collection Refs in Work holding the first item; its scope is kept in a fresh file.
  Q_INVOKABLE QObject* host(const QString& family) {
    // Plain string literals: moc does not follow raw ones.
    std::string items;
    for (int i = 0; i < 4; ++i)
      items += std::string(i ? "," : "") + "{\"id\":\"" + itemID(i).uuidString() +
               "\",\"title\":\"Item " + std::to_string(i + 1) +
               "\",\"weight\":1,\"collectionIDs\":" +
               (i == 0 ? "[\"C0000000-0000-4000-8000-000000000001\"]" : "[]") + "}";
    std::string snapshot =
        "{\"items\":[" + items +
        "],\"spaces\":[{\"id\":\"50000000-0000-4000-8000-000000000001\",\"name\":\"Work\"},"
        "{\"id\":\"50000000-0000-4000-8000-000000000002\",\"name\":\"Home\"}],"
        "\"collections\":[{\"id\":\"C0000000-0000-4000-8000-000000000001\",\"name\":"
        "\"Refs\",\"spaceID\":\"50000000-0000-4000-8000-000000000001\"}]}";
    QDir().mkpath(container_.path() + QStringLiteral("/Widget"));
    QFile file(QString::fromStdString(snapshotPath(container_.path().toStdString())));
    if (!file.open(QIODevice::WriteOnly)) return nullptr;
    file.write(snapshot.c_str());
    file.close();
    auto* host = new WidgetHost(
        *familyNamed(family.toStdString()), QStringLiteral("test"),
        {container_.path().toStdString(),
         ScopeStore(container_.path().toStdString() + "/state/" + std::to_string(++hosts_)), clock_,
         [this](const QString& url) {
           lastOpened_ = url;
           emit openedChanged();
         }});
    host->update();
    QQmlEngine::setObjectOwnership(host, QQmlEngine::JavaScriptOwnership);
    return host;
  }

  Q_INVOKABLE QString link(int index) const { return deepLink(itemID(index)); }

 signals:
  void openedChanged();

 private:
  static UUID itemID(int index) {
    char text[37];
    std::snprintf(text, sizeof text, "5EED0000-0000-4000-8000-%012d", index + 1);
    return *UUID::parse(text);
  }

  void writeThumbnail(const UUID& id, const QString& kind) {
    QString path = QString::fromStdString(thumbnailPath(container_.path().toStdString(), id));
    if (kind.isEmpty()) {
      QFile::remove(path);
      return;
    }
    QImage image(kind == QLatin1String("wide") ? QSize(400, 100) : QSize(60, 60),
                 QImage::Format_RGB32);
    if (kind == QLatin1String("wide")) {
      QPainter painter(&image);
      painter.fillRect(0, 0, 134, 100, Qt::red);
      painter.fillRect(134, 0, 133, 100, Qt::green);
      painter.fillRect(267, 0, 133, 100, Qt::blue);
    } else {
      image.fill(QColor(kind));
    }
    QDir().mkpath(container_.path() + QStringLiteral("/Widget"));
    image.save(path, "PNG");
  }

  QTemporaryDir container_;
  QString lastOpened_;
  int hosts_ = 0;
  // 2026-01-01T00:00:00Z
  platform::testing::FakeWallClock clock_{std::chrono::sys_days{std::chrono::year{2026} / 1 / 1}};
};

class Setup : public test_support::ViewTestSetup {
 public:
  Setup() : ViewTestSetup(fixtures_) {}

 private:
  Fixtures fixtures_;
};

}  // namespace nolt::widget

QUICK_TEST_MAIN_WITH_SETUP(widget_view, nolt::widget::Setup)

#include "widget_view_test.moc"
