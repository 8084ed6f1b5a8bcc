// host/store_failure.h - what a person reads when the library or its files could not be read or
// changed: what the disk did ("the disk is full", "read-only") and what Nolt couldn't do, in
// Nolt's words rather than SQLite's or the system's.
#pragma once

#include <string>
#include <system_error>

#include "host/sqlite.h"

namespace nolt::host {

std::string storeFailureText(const StoreError& error);
// For a stored file; the error's own text names the file.
std::string fileFailureText(const std::system_error& error);

}  // namespace nolt::host
