// tests/desktop/desktop_test.h - the fixture of tests that run a real program on the private
// display: one DesktopSession for the whole suite, and a HOME of its own for each test.
// Skipped when a tool of the session is not installed. Tests built with it define
// NOLT_ARTEFACTS_DIR, the folder their pictures of the screen go to.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "tests/desktop/desktop_session.h"

namespace nolt::desktop_tests {

class DesktopTest : public ::testing::Test {
 protected:
  // Starting Xvfb and openbox takes a while, so the tests of a suite share one display.
  static void SetUpTestSuite() {
    if (!DesktopSession::missingTool()) session_ = new DesktopSession;
  }
  static void TearDownTestSuite() {
    delete session_;
    session_ = nullptr;
  }

  void SetUp() override {
    if (auto tool = DesktopSession::missingTool())
      GTEST_SKIP() << tool->c_str() << " is not installed";
    ASSERT_TRUE(session_->ready()) << session_->problem();
    environment_ = session_->programEnvironment(home_.path());
  }
  // Whether a SetUp() that extends this one should go on.
  bool setUpDone() const { return !IsSkipped() && !HasFatalFailure(); }

  // The screen as <artefacts>/<name>.png.
  void photograph(const std::string& name) const {
    session_->photograph(std::string(NOLT_ARTEFACTS_DIR) + "/" + name + ".png");
  }

  static inline DesktopSession* session_ = nullptr;
  test_support::TempDir home_;
  Environment environment_;  // of a program under test, in home_
};

}  // namespace nolt::desktop_tests
