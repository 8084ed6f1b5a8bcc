// cli/link/testing/send_failure.h - how a send that must fail ends, for tests of the link.
#pragma once

#include <gtest/gtest.h>

#include "cli/link/app_connection.h"

namespace nolt::link::testing {

// The kind of failure `spaces` ends in; a send that succeeds fails the test.
inline AppConnection::Failure::Kind failureOf(AppConnection connection) {
  try {
    connection.send("spaces", {});
  } catch (const AppConnection::Failure& f) {
    return f.kind();
  }
  ADD_FAILURE() << "send succeeded";
  return AppConnection::Failure::Kind::app;
}

}  // namespace nolt::link::testing
