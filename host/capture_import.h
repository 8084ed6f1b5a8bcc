// host/capture_import.h - taking captures from the inbox into the library.
// A capture folder is taken once it holds request.json. Items commit in batches, and only
// once a batch committed are its folders removed: a host killed before the commit finds every
// folder again and takes it anew; one killed after finds them and, knowing their names from
// the committed items, only removes them. A capture that cannot be read is
// moved aside, with a note of why, into <container>/Rejected; nothing is dropped silently.
// Other programs write the inbox, so whatever is there is read as hostile: nothing is followed
// through a link, a link or anything but a folder or file is set aside, payloads over
// platform::kMaxFileBytes are set aside unread, and a link capture must be an http or https
// address.
#pragma once

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <mutex>
#include <string_view>
#include <utility>
#include <vector>

#include "host/background_work.h"
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
  // The trash is emptied on a thread of its own, from the start (what a stopped host left) and
  // after each batch: freeing a folder's blocks may wait on the disk, and the captures behind
  // need not wait with it.
  CaptureImporter(HostServices services, std::filesystem::path inbox,
                  std::filesystem::path rejected, std::filesystem::path trash);
  ~CaptureImporter() = default;  // stops the sweeping between two folders
  CaptureImporter(const CaptureImporter&) = delete;
  CaptureImporter& operator=(const CaptureImporter&) = delete;

  // Every whole capture in the inbox, oldest folder name order; safe from several threads.
  // `stop` is asked before each capture: once it says true, what was taken so far commits and
  // the rest stays in the inbox for the next call.
  ImportReport importAll(const std::function<bool()>& stop = {});

  // Told each step of a batch: "adopted" (its files stored, nothing committed), "committed"
  // (its items in the library, its folders still in the inbox), "removed" (after each folder
  // goes). For tests that stop a host at one of them.
  std::function<void(std::string_view step)> onBatchStep;

 private:
  enum class Outcome { imported, setAside, leftAlone, queued };
  struct Pending {
    std::string captureID;
    std::pair<Item, std::optional<Note>> item;
  };
  // Commits the captures taken so far in one transaction, then removes their folders.
  void commitBatch(int inbox, ImportReport& report);
  Outcome importEntry(int inbox, const std::string& name);
  // Moves the capture whole to a fresh Rejected/<name> and puts the reason in it; nothing is
  // written into the capture while it is in the inbox. False when there was nowhere to put it.
  bool setAside(int inbox, const std::string& name, const std::string& reason);
  void placeReason(int rejected, const std::string& staged, const std::string& target);
  // Completes, or takes back, a set-aside that a stopped host left half done.
  void finishSettingAside();
  void remove(int inbox, const std::string& name);
  void remove(int inbox, int trash, const std::string& name);
  void sweep(const std::atomic<bool>& stopping);  // empties the trash, on its own thread

  HostServices services_;
  std::filesystem::path inbox_;
  std::filesystem::path rejected_;
  std::filesystem::path trash_;
  std::mutex mutex_;
  std::vector<Pending> batch_;
  BackgroundWork sweeper_;  // last: it may start sweeping before the constructor returns
};

// A batch commits at this many captures, or once it is this old, whichever comes first: one
// commit per capture would cost a disk flush each, and a batch much larger would keep the
// captures from showing up and a stop request waiting.
inline constexpr std::size_t kImportBatch = 1000;
inline constexpr double kImportBatchSeconds = 0.25;

// The name of the file beside request.json that explains why a capture was set aside.
inline constexpr const char* kReasonFileName = "reason.txt";
// The largest request.json read: a text capture of this size is already far beyond a page.
inline constexpr std::uint64_t kMaxRequestBytes = 16 * 1024 * 1024;

}  // namespace nolt::host
