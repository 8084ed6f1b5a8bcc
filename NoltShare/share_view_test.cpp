// Runs the QML form tests (tst_*.qml) in the Basic style with fixtures: models over substitute
// providers and a temporary container, with or without a destinations file.
#include <QtQml/qqmlextensionplugin.h>
#include <QtQuickTest/quicktest.h>

#include <QDir>
#include <QFile>
#include <QQmlEngine>
#include <QTemporaryDir>

#include "NoltShare/share_model.h"
#include "NoltShare/testing/fake_item_provider.h"
#include "platform/testing/fake_wall_clock.h"
#include "platform/testing/sequential_uuid_source.h"
#include "platform/testing/test_environment.h"
#include "tests/support/view_test_setup.h"

Q_IMPORT_QML_PLUGIN(Nolt_SharePlugin)

namespace nolt::share {

class Fixtures : public test_support::ViewFixtures {
  Q_OBJECT

 public:
  Fixtures() { env_.variables["XDG_DATA_HOME"] = home_.path().toStdString(); }

  // A model sharing `kind`: "image" (a red and blue picture), "link", "text" or "nothing";
  // with the spaces Design (🎨, collections Refs and Moodboard) and Home when `destinations`.
  Q_INVOKABLE QObject* model(const QString& kind, bool destinations) {
    QString file = home_.path() + QStringLiteral("/group.app.nolt/destinations.json");
    QFile::remove(file);
    if (destinations) {
      QDir().mkpath(home_.path() + QStringLiteral("/group.app.nolt"));
      QFile out(file);
      if (!out.open(QIODevice::WriteOnly)) return nullptr;
      out.write(
          "{\"spaces\":[{\"id\":\"5BACE000-0000-4000-8000-000000000001\",\"name\":\"Design\","
          "\"emoji\":\"\xF0\x9F\x8E\xA8\",\"symbol\":\"\",\"tintName\":\"\"},"
          "{\"id\":\"5BACE000-0000-4000-8000-000000000002\",\"name\":\"Home\",\"emoji\":\"\","
          "\"symbol\":\"\",\"tintName\":\"\"}],"
          "\"collections\":[{\"id\":\"C0000000-0000-4000-8000-000000000001\",\"name\":\"Refs\","
          "\"emoji\":\"\",\"symbol\":\"\",\"tintName\":\"\","
          "\"spaceID\":\"5BACE000-0000-4000-8000-000000000001\"},"
          "{\"id\":\"C0000000-0000-4000-8000-000000000002\",\"name\":\"Moodboard\","
          "\"emoji\":\"\",\"symbol\":\"\",\"tintName\":\"\","
          "\"spaceID\":\"5BACE000-0000-4000-8000-000000000001\"}]}");
    }
    ShareModel::Providers providers;
    auto provider = std::make_shared<testing::FakeItemProvider>();
    if (kind == QLatin1String("image")) {
      QImage picture(120, 60, QImage::Format_RGB32);
      picture.fill(Qt::red);
      for (int y = 0; y < 60; ++y)
        for (int x = 60; x < 120; ++x) picture.setPixelColor(x, y, Qt::blue);
      provider->types = {"public.image", "public.data"};
      provider->image = picture;
      providers.push_back(provider);
    } else if (kind == QLatin1String("link")) {
      provider->types = {"public.url"};
      provider->url = URLObject{"https://www.example.com/chairs/red"};
      providers.push_back(provider);
    } else if (kind == QLatin1String("text")) {
      provider->types = {"public.plain-text"};
      provider->string = QStringLiteral("A quote");
      providers.push_back(provider);
    }
    auto* model = new ShareModel(providers, ShareServices{env_, uuids_, clock_});
    QQmlEngine::setObjectOwnership(model, QQmlEngine::JavaScriptOwnership);
    return model;
  }

 private:
  QTemporaryDir home_;
  platform::testing::TestEnvironment env_;
  platform::testing::SequentialUUIDSource uuids_;
  platform::testing::FakeWallClock clock_;
};

class Setup : public test_support::ViewTestSetup {
 public:
  Setup() : ViewTestSetup(fixtures_, QStringLiteral("Basic")) {}

 private:
  Fixtures fixtures_;
};

}  // namespace nolt::share

QUICK_TEST_MAIN_WITH_SETUP(share_view, nolt::share::Setup)

#include "share_view_test.moc"
