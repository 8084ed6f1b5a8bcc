// NoltShare/item_provider.h - one shared thing, delivered lazily: the types it can be had as,
// and objects or files handed to completions that run on a thread of the provider's own.
#pragma once

#include <QImage>
#include <QString>
#include <filesystem>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <variant>
#include <vector>

namespace nolt::share {

// The classes of object a provider can be asked for.
enum class ObjectClass { url, string, image };

// An absolute URL in its textual form.
struct URLObject {
  std::string absoluteString;
};

// What a provider delivers: nothing (an error), or an object of some class, not necessarily
// the one asked for.
using ProviderObject = std::variant<std::monostate, URLObject, QString, QImage>;

class ItemProvider {
 public:
  using ObjectCompletion = std::function<void(ProviderObject)>;
  // The file exists only while the completion runs; none on an error.
  using FileCompletion = std::function<void(const std::optional<std::filesystem::path>&)>;

  virtual ~ItemProvider();

  // True for the provider's own types and every broader type they belong to.
  virtual bool hasItemConformingToTypeIdentifier(std::string_view type) const = 0;
  virtual void loadObject(ObjectClass objectClass, ObjectCompletion completion) = 0;
  virtual void loadFileRepresentation(std::string_view type, FileCompletion completion) = 0;

 protected:
  // Runs `work` on a new thread; the destructor waits for every one, so a provider outlives
  // the completions it started. A subclass whose work touches its members waits itself first.
  void onOwnThread(std::function<void()> work);
  void waitForThreads();

 private:
  std::mutex mutex_;
  std::vector<std::thread> threads_;
};

}  // namespace nolt::share
