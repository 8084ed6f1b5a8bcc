#include "host/store_failure.h"

#include <cerrno>
#include <string_view>

namespace nolt::host {

std::string storeFailureText(const StoreError& error) {
  std::string_view text = error.what();
  // SQLite's words for SQLITE_FULL, SQLITE_READONLY and SQLITE_IOERR.
  if (text.find("database or disk is full") != std::string_view::npos)
    return "The disk is full: Nolt couldn't save the change to its library. Free some space "
           "and try again.";
  if (text.find("readonly database") != std::string_view::npos)
    return "Nolt's library is read-only: it can be searched, but nothing can be saved to it.";
  if (text.find("disk I/O error") != std::string_view::npos)
    return "Nolt couldn't read or write its library: the disk reported an error.";
  return "Nolt's library couldn't answer that request.";
}

std::string fileFailureText(const std::system_error& error) {
  int code = error.code().value();
  if (code == ENOSPC || code == EDQUOT)
    return std::string("The disk is full: Nolt couldn't save the file (") + error.what() + ").";
  if (code == EROFS || code == EACCES || code == EPERM)
    return std::string("Nolt couldn't write the file: ") + error.what() + ".";
  if (code == EIO)
    return std::string("Nolt couldn't write the file, the disk failed: ") + error.what() + ".";
  return std::string("Nolt couldn't do that: ") + error.what();
}

}  // namespace nolt::host
