// host/capture_import.h - taking captures from the inbox into the library.
// A capture folder is taken once it holds request.json. Its item commits first, and only then
// is the folder removed: a host killed in between finds the folder again and, knowing the
// folder's name from the committed item, only removes it. A capture that cannot be read is
// moved aside, with a note of why, into <container>/Rejected; nothing is dropped silently.
// Other programs write the inbox, so whatever is there is read as hostile: nothing is followed
// through a link, a link or anything but a folder or file is set aside, payloads over
// platform::kMaxFileBytes are set aside unread, and a link capture must be an http or https
// address.
#pragma once

#include <cstdint>
#include <filesystem>
#include <mutex>

#include "host/command_handlers.h"

namespace nolt::host {

struct ImportReport {
  int imported = 0;
  int setAside = 0;
};

class CaptureImporter {
 public:
  // `trash` is a folder on the inbox's disk where taken captures are moved before they are
  // deleted, so a host killed while deleting never leaves half a folder in the inbox.
  CaptureImporter(HostServices services, std::filesystem::path inbox,
                  std::filesystem::path rejected, std::filesystem::path trash)
      : services_(services),
        inbox_(std::move(inbox)),
        rejected_(std::move(rejected)),
        trash_(std::move(trash)) {}

  // Every whole capture in the inbox, oldest folder name order; safe from several threads.
  ImportReport importAll();

 private:
  enum class Outcome { imported, setAside, leftAlone };
  Outcome importEntry(int inbox, const std::string& name);
  // Moves the capture whole to a fresh Rejected/<name> and puts the reason in it; nothing is
  // written into the capture while it is in the inbox. False when there was nowhere to put it.
  bool setAside(int inbox, const std::string& name, const std::string& reason);
  void placeReason(int rejected, const std::string& staged, const std::string& target);
  // Completes, or takes back, a set-aside that a stopped host left half done.
  void finishSettingAside();
  void remove(int inbox, const std::string& name);

  HostServices services_;
  std::filesystem::path inbox_;
  std::filesystem::path rejected_;
  std::filesystem::path trash_;
  std::mutex mutex_;
};

// The name of the file beside request.json that explains why a capture was set aside.
inline constexpr const char* kReasonFileName = "reason.txt";
// The largest request.json read: a text capture of this size is already far beyond a page.
inline constexpr std::uint64_t kMaxRequestBytes = 16 * 1024 * 1024;

}  // namespace nolt::host
