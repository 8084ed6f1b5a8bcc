#include "NoltShare/share_view_controller.h"

#include <QtQml/qqmlextensionplugin.h>
#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QQmlEngine>
#include <QQuickItem>
#include <QQuickStyle>
#include <QQuickView>
#include <QSignalSpy>
#include <filesystem>

#include "NoltShare/testing/fake_item_provider.h"
#include "platform/careful_files.h"
#include "platform/testing/fake_wall_clock.h"
#include "platform/testing/recording_notification_center.h"
#include "platform/testing/sequential_uuid_source.h"
#include "platform/testing/test_environment.h"
#include "tests/support/test_host_process.h"

Q_IMPORT_QML_PLUGIN(Nolt_SharePlugin)

namespace nolt::share {
namespace {

namespace fs = std::filesystem;
using platform::testing::RecordingNotificationCenter;
using platform::testing::SequentialUUIDSource;
using platform::testing::TestEnvironment;
using testing::FakeItemProvider;

bool application() {
  static int argc = 1;
  static char name[] = "nolt_share_controller_test";
  static char* argv[] = {name, nullptr};
  static QGuiApplication* app = [] {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QQuickStyle::setStyle(QStringLiteral("Basic"));
    QQuickWindow::setGraphicsApi(QSGRendererInterface::Software);
    return new QGuiApplication(argc, argv);
  }();
  return app != nullptr;
}

std::shared_ptr<FakeItemProvider> text(const char* words) {
  auto p = std::make_shared<FakeItemProvider>();
  p->types = {"public.plain-text"};
  p->string = QString::fromUtf8(words);
  return p;
}

class ShareViewControllerTest : public ::testing::Test {
 protected:
  ShareViewControllerTest() {
    engine_.addImportPath(QStringLiteral("qrc:/"));
    env_.variables["XDG_DATA_HOME"] = temp_.path();
  }

  std::unique_ptr<ExtensionContext> context(std::vector<ExtensionItem> items) {
    return std::make_unique<ExtensionContext>(std::move(items),
                                              [this](int status) { statuses_.push_back(status); });
  }

  std::unique_ptr<ShareViewController> controller(ExtensionContext* context) {
    auto c = std::make_unique<ShareViewController>(context, ShareServices{env_, uuids_, clock_},
                                                   notifications_);
    c->loadView(engine_);
    EXPECT_NE(c->view()->rootObject(), nullptr)
        << c->view()->errors().value(0).toString().toStdString();
    return c;
  }

  fs::path inbox() const { return fs::path(temp_.path()) / "group.app.nolt" / "Incoming"; }

  bool application_ = application();  // before the engine
  test_support::TempDir temp_;
  TestEnvironment env_;
  SequentialUUIDSource uuids_;
  platform::testing::FakeWallClock clock_;
  RecordingNotificationCenter notifications_;
  QQmlEngine engine_;
  std::vector<int> statuses_;
};

TEST_F(ShareViewControllerTest, ProvidersComeItemAfterItemInAttachmentOrder) {
  auto a = text("a"), b = text("b"), c = text("c"), d = text("d");
  auto ctx = context({{{a, b}}, {{}}, {{c, d}}});
  auto controller = this->controller(ctx.get());
  ShareModel::Providers expected = {a, b, c, d};
  EXPECT_EQ(controller->model()->providers(), expected);
}

TEST_F(ShareViewControllerTest, WithoutARequestThereIsNothingToSave) {
  auto controller = this->controller(nullptr);
  EXPECT_TRUE(controller->model()->providers().empty());
  QQuickItem* form = controller->view()->rootObject();
  auto* save = form->property("saveButton").value<QQuickItem*>();
  ASSERT_NE(save, nullptr);
  EXPECT_FALSE(save->isEnabled());
  EXPECT_EQ(save->opacity(), 0.4);
  controller->cancel();  // nobody to tell
  EXPECT_TRUE(statuses_.empty());
}

TEST_F(ShareViewControllerTest, ViewTakesTheFormsNaturalSizeOnce) {
  auto image = std::make_shared<FakeItemProvider>();
  image->types = {"public.image"};
  QImage picture(300, 100, QImage::Format_RGB32);
  picture.fill(Qt::red);
  image->image = picture;
  auto ctx = context({{{image}}});
  auto controller = this->controller(ctx.get());
  QQuickItem* form = controller->view()->rootObject();
  QSize fitting(qCeil(form->implicitWidth()), qCeil(form->implicitHeight()));
  EXPECT_EQ(fitting.width(), 420);
  EXPECT_GT(fitting.height(), 44 + 24 + 48);
  EXPECT_EQ(controller->preferredContentSize(), fitting);
  EXPECT_EQ(controller->view()->size(), fitting);
  QSignalSpy preview(controller->model(), &ShareModel::previewChanged);
  ASSERT_TRUE(preview.wait(5000));
  EXPECT_EQ(controller->preferredContentSize(), fitting);
}

TEST_F(ShareViewControllerTest, EscapeCancelsWithoutWriting) {
  auto ctx = context({{{text("kept out")}}});
  auto controller = this->controller(ctx.get());
  controller->view()->show();
  controller->view()->requestActivate();
  QElapsedTimer clock;
  clock.start();
  while (!controller->view()->isActive() && clock.elapsed() < 5000)
    QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
  QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
  QGuiApplication::sendEvent(controller->view(), &escape);
  ASSERT_NE(ctx->cancelError(), nullptr);
  EXPECT_EQ(ctx->cancelError()->domain, "NSCocoaErrorDomain");
  EXPECT_EQ(ctx->cancelError()->code, 3072);
  EXPECT_EQ(statuses_, std::vector<int>{1});
  EXPECT_FALSE(fs::exists(inbox()));
  EXPECT_TRUE(notifications_.posted.empty());
}

TEST_F(ShareViewControllerTest, SaveTellsTheHostOnceAndCompletes) {
  struct Case {
    const char* name;
    bool container;
    std::size_t captures;
  };
  for (const Case& c : {Case{"container", true, 2}, Case{"no container", false, 0}}) {
    SCOPED_TRACE(c.name);
    notifications_.posted.clear();
    statuses_.clear();
    if (!c.container) env_.variables.clear();
    auto ctx = context({{{text("one")}}, {{text("two")}}});
    auto controller = this->controller(ctx.get());
    auto written = [&] {
      std::error_code ignored;
      std::size_t count = 0;
      for (const auto& folder : fs::directory_iterator(inbox(), ignored))
        count += fs::exists(folder.path() / "request.json");
      return count;
    };
    std::size_t before = written();
    QSignalSpy finished(controller.get(), &ShareViewController::saveFinished);
    controller->save();
    EXPECT_TRUE(statuses_.empty());  // the save runs after the action returns
    ASSERT_TRUE(finished.wait(5000));
    EXPECT_EQ(notifications_.posted, std::vector<std::string>{"app.nolt.Nolt.incoming"});
    EXPECT_EQ(statuses_, std::vector<int>{0});
    EXPECT_EQ(written() - before, c.captures);
  }
}

// A refused capture keeps the form open with the reason; what else was saved is announced.
TEST_F(ShareViewControllerTest, ARefusedSaveShowsWhyAndStaysOpen) {
  auto big = std::make_shared<FakeItemProvider>();
  big->types = {"public.plain-text"};
  big->string = QString(static_cast<qsizetype>(platform::kMaxCaptureRequestBytes), 't');
  auto ctx = context({{{text("small")}}, {{big}}});
  auto controller = this->controller(ctx.get());
  QSignalSpy finished(controller.get(), &ShareViewController::saveFinished);
  controller->save();
  QElapsedTimer clock;
  clock.start();
  while (notifications_.posted.empty() && clock.elapsed() < 5000)
    QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
  EXPECT_EQ(controller->model()->summary(), "The capture is over 16 MB.");
  auto* summary = controller->view()->rootObject()->findChild<QObject*>("summary");
  ASSERT_NE(summary, nullptr);
  EXPECT_EQ(summary->property("text").toString(), "The capture is over 16 MB.");
  EXPECT_EQ(finished.count(), 0);
  EXPECT_TRUE(statuses_.empty());
  EXPECT_EQ(notifications_.posted, std::vector<std::string>{"app.nolt.Nolt.incoming"});
}

}  // namespace
}  // namespace nolt::share
