// NoltShare/extension_context.h - the share request as the desktop starts nolt-share: every
// argument is one extension item with one attachment, and the request ends by completing
// (exit status 0) or by cancelling with an error (exit status 1).
#pragma once

#include <QString>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "NoltShare/item_provider.h"

namespace nolt::share {

struct ExtensionItem {
  std::vector<std::shared_ptr<ItemProvider>> attachments;  // empty for a thing we cannot read
};

struct ExtensionError {
  std::string domain;
  int code = 0;
};

// The error a request ends with when the person cancels it.
inline const ExtensionError kUserCancelledError{"NSCocoaErrorDomain", 3072};

// What nolt-share's command line asks for. QGuiApplication takes Qt's own options (-platform
// NAME and the like) out before the rest is read here.
struct ShareCommandLine {
  enum class Request { share, help, version, invalid };
  Request request = Request::share;
  std::vector<std::string> things;  // for itemsFromArguments: --text options stay in place
  QString text;                     // the help text, or what is wrong
};

// `arguments` starts with the program; the things keep their bytes, whatever their encoding,
// so any file name reaches the file system as given. --help (-h) and --version (-v) win over any
// mistake elsewhere on the line; an unknown option or a --text without its text is invalid.
ShareCommandLine readCommandLine(const std::vector<std::string>& arguments);

// One item per argument: an http or https URL; an existing file, by path or file: URL; or the
// text after --text (also --text=TEXT). After "--" every argument is a URL or a file. An
// argument that is none of these gives an item without attachments.
std::vector<ExtensionItem> itemsFromArguments(const std::vector<std::string>& arguments);

// Providers of the three kinds of argument; each delivers on a thread of its own.
std::shared_ptr<ItemProvider> makeURLProvider(std::string url);
std::shared_ptr<ItemProvider> makeFileProvider(std::string path);
std::shared_ptr<ItemProvider> makeTextProvider(std::string text);

class ExtensionContext {
 public:
  // `end` gets the request's outcome once: status 0 when completed, 1 when cancelled.
  ExtensionContext(std::vector<ExtensionItem> inputItems, std::function<void(int status)> end);

  const std::vector<ExtensionItem>& inputItems() const { return inputItems_; }
  void completeRequest();
  void cancelRequest(const ExtensionError& error);

  bool ended() const { return ended_; }
  // How it ended, for whoever watches: none, or the cancelling error.
  const ExtensionError* cancelError() const { return cancelled_ ? &error_ : nullptr; }

 private:
  void finish(int status);

  std::vector<ExtensionItem> inputItems_;
  std::function<void(int)> end_;
  bool ended_ = false;
  bool cancelled_ = false;
  ExtensionError error_;
};

}  // namespace nolt::share
