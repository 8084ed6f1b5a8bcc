// NoltShare/testing/fake_item_provider.h - a provider set up field by field that completes on
// threads of its own, as the desktop's do, and hands over its file as a temporary copy that is
// gone once the completion returns.
#pragma once

#include <QCoreApplication>
#include <QThread>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <set>
#include <string>

#include "NoltShare/item_provider.h"

namespace nolt::share::testing {

class FakeItemProvider final : public ItemProvider {
 public:
  // Every type it conforms to, broader ones included.
  std::set<std::string, std::less<>> types;
  ProviderObject url, string, image;  // what each class of object delivers
  // A file representation of any conforming type: its name and content; none when fileName is
  // empty.
  std::string fileName, fileContent;
  std::filesystem::path scratch;  // where the temporary copy goes

  ~FakeItemProvider() override { waitForThreads(); }

  bool hasItemConformingToTypeIdentifier(std::string_view type) const override {
    return types.find(type) != types.end();
  }

  void loadObject(ObjectClass objectClass, ObjectCompletion completion) override {
    ProviderObject object = objectClass == ObjectClass::url      ? url
                            : objectClass == ObjectClass::string ? string
                                                                 : image;
    ++objectRequests;
    onOwnThread([object, completion = std::move(completion), this] {
      noteThread();
      completion(object);
    });
  }

  void loadFileRepresentation(std::string_view type, FileCompletion completion) override {
    {
      std::lock_guard lock(mutex_);
      requestedFileTypes.insert(std::string(type));
    }
    bool available = !fileName.empty() && hasItemConformingToTypeIdentifier(type);
    std::filesystem::path temporary = scratch / ("delivered-" + std::to_string(++deliveries_));
    onOwnThread([=, completion = std::move(completion), this] {
      noteThread();
      if (!available) return completion(std::nullopt);
      std::filesystem::create_directories(temporary);
      std::ofstream(temporary / fileName, std::ios::binary) << fileContent;
      completion(temporary / fileName);
      std::filesystem::remove_all(temporary);
    });
  }

  std::set<std::string> fileTypesRequested() {
    std::lock_guard lock(mutex_);
    return requestedFileTypes;
  }

  std::atomic<int> objectRequests{0};
  std::atomic<bool> completedOnMainThread{false};

 private:
  void noteThread() {
    if (QThread::currentThread() == QCoreApplication::instance()->thread())
      completedOnMainThread = true;
  }

  std::mutex mutex_;
  std::set<std::string> requestedFileTypes;
  int deliveries_ = 0;
};

}  // namespace nolt::share::testing
