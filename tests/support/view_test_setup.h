// tests/support/view_test_setup.h - what every Qt Quick view test (tst_*.qml run by
// QUICK_TEST_MAIN_WITH_SETUP) shares: the software renderer, the application's QML modules,
// the test's fixtures reachable from QML as `fixtures`, and where pictures of each state go.
// The view test states only its fixtures and, when it wants one, its Quick Controls style.
#pragma once

#include <QObject>
#include <QString>

class QQmlEngine;

namespace nolt::test_support {

// The base of a view test's fixtures.
class ViewFixtures : public QObject {
  Q_OBJECT

 public:
  // The PNG file a picture of state `name` is saved to, under the test's artefacts folder
  // (made when missing).
  Q_INVOKABLE QString artefact(const QString& name) const;
};

// The set-up object of QUICK_TEST_MAIN_WITH_SETUP. A test's own derives from it, holds its
// fixtures and hands them over: `Setup() : ViewTestSetup(fixtures_) {}`.
class ViewTestSetup : public QObject {
  Q_OBJECT

 public:
  // `style` names the Quick Controls style; empty keeps Qt's default.
  explicit ViewTestSetup(ViewFixtures& fixtures, QString style = {});

 public slots:
  void applicationAvailable();
  void qmlEngineAvailable(QQmlEngine* engine);

 private:
  ViewFixtures& fixtures_;
  QString style_;
};

}  // namespace nolt::test_support
