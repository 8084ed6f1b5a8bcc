// nolt-host - a reference host for the Nolt programs: the library in SQLite, the command port,
// the capture inbox and the files published for the capture programs and the widget.
//
//   nolt-host                   run as the host (one per user; a second one exits at once)
//   nolt-host --demo            the same, on a sample library when the library is empty
//   nolt-host nolt://item/<ID>  open the item, through the running host if there is one
//   nolt-host --version         print the version
//
// It stops on SIGTERM or SIGINT. Exit status 0, or 1 after one line on standard error.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <thread>

#include "host/background_work.h"
#include "host/capture_import.h"
#include "host/demo_artwork.h"
#include "host/demo_seed.h"
#include "host/desktop_opener.h"
#include "host/file_ledger.h"
#include "host/file_store.h"
#include "host/incoming_watch.h"
#include "host/instance_record.h"
#include "host/library_folder.h"
#include "host/publisher.h"
#include "host/qt_image_codec.h"
#include "host/request_exchange.h"
#include "platform/command_port.h"
#include "platform/deep_link.h"
#include "platform/directories.h"
#include "platform/free_memory.h"
#include "platform/identifiers.h"
#include "platform/port_server.h"
#include "platform/stop_signals.h"
#include "platform/wall_clock.h"
#include "wire/cli_records.h"

namespace {

namespace fs = std::filesystem;
namespace host = nolt::host;
namespace wire = nolt::wire;
namespace platform = nolt::platform;

// Captures whose notification was missed are still found within this many seconds.
constexpr int kRescanSeconds = 30;
// How long a deep link waits for a host that is still launching.
constexpr double kLaunchWait = 15;

constexpr const char* kUsage =
    "Usage: nolt-host [--demo] [nolt://item/<ID>]\n"
    "       nolt-host --version\n"
    "Serves the Nolt library to the Nolt programs until SIGTERM or SIGINT.\n"
    "  --demo  start with a sample library when the library is empty\n";

struct Options {
  bool demo = false;
  std::optional<std::string> itemToOpen;
};

[[noreturn]] void fail(const std::string& text) {
  std::fprintf(stderr, "nolt-host: %s\n", text.c_str());
  std::exit(1);
}

Options parseOptions(int argc, char** argv) {
  Options options;
  for (int i = 1; i < argc; ++i) {
    std::string_view word = argv[i];
    if (word == "--demo") {
      options.demo = true;
    } else if (word == "--help" || word == "-h") {
      std::fputs(kUsage, stdout);
      std::exit(0);
    } else if (word == "--version" || word == "-v") {
      std::fputs("nolt-host " NOLT_VERSION "\n", stdout);
      std::exit(0);
    } else if (auto id = platform::itemOfLink(word)) {
      options.itemToOpen = id->uuidString();
    } else {
      std::fprintf(stderr, "nolt-host: I don't understand “%s”.\n%s", argv[i], kUsage);
      std::exit(2);
    }
  }
  return options;
}

// Hands a deep link to the host that runs already, waiting while it launches.
int openThroughRunningHost(platform::Environment& env, const std::string& itemID) {
  auto port = platform::makeUnixCommandPort(env);
  wire::CLIRequest request{"open", wire::JSONObject{{"id", itemID}}};
  auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(kLaunchWait);
  while (std::chrono::steady_clock::now() < deadline) {
    if (auto connection = port->open(platform::kCommandPortName)) {
      std::string reply;
      if (connection->sendRequest(0, request.encode(), 10, 60, reply) !=
          platform::PortConnection::Status::success)
        fail("Nolt didn't answer.");
      wire::CLIResponse response = wire::CLIResponse::decode(reply);
      if (response.error) fail(*response.error);
      return 0;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  fail("Nolt is running but isn't sharing its library.");
}

void publishQuietly(host::Publisher& publisher) {
  try {
    publisher.publish();
  } catch (const std::exception& error) {
    // The library itself is safe; the next change publishes again.
    std::fprintf(stderr, "nolt-host: couldn't publish the shared files: %s\n", error.what());
  }
}

// What a host killed while writing left: temporary files of the published files, and
// files of adds that never committed (only those the library recorded; see FileLedger).
void removeLeftovers(const std::string& container, host::FileStore& files, host::FileLedger* ledger,
                     host::Library& library) {
  if (platform::UniqueFD folder = platform::openFolder(container)) {
    platform::removeTemporaryFiles(folder.get());
    if (platform::UniqueFD widget = platform::openFolder(folder.get(), "Widget"))
      platform::removeTemporaryFiles(widget.get());
  }
  std::vector<std::string> removable = ledger ? ledger->removable() : std::vector<std::string>{};
  files.removeStrays(removable,
                     [&](const std::string& id) { return library.item(id).has_value(); });
  try {
    for (const std::string& id : removable) ledger->forget(id);
  } catch (const std::exception&) {
    // Forgotten at the next start: removing a folder twice is harmless.
  }
}

}  // namespace

int main(int argc, char** argv) {
  Options options = parseOptions(argc, argv);
  // Taste and brief answer in tens of megabytes; the host serves a handful of requests at once,
  // so one arena's lock costs little.
  platform::keepFreeMemoryForReuse();
  // A client that hangs up before its reply must not end the host.
  signal(SIGPIPE, SIG_IGN);
  int signals = platform::watchStopSignals();
  if (signals < 0) fail("can't watch for signals");

  auto env = platform::makeProcessEnvironment();
  std::optional<std::string> runtime = platform::runtimeDirectory(*env);
  std::optional<std::string> container = platform::groupContainerPath(*env);
  if (!runtime || !container) fail("no home folder to keep the library in (set HOME)");
  mkdir(runtime->c_str(), 0700);
  // The container's folders the host makes are its own: 0700, parents included.
  platform::openFolder(*container, true);
  // Without a runtime folder of its own the container serves, and so must be private.
  if (*runtime == *container) platform::makePrivate(*container);
  // Anyone who can write the runtime folder could put a link at the record's or the port's
  // name, or take the names first.
  if (auto problem = platform::unsafeRuntimeFolder(*runtime))
    fail("can't serve from the runtime folder: " + *problem + ".");

  std::optional<host::InstanceRecord> record = [&] {
    try {
      return host::InstanceRecord::acquire(*runtime + "/" + std::string(platform::kHostBundleID) +
                                           ".instance");
    } catch (const host::InstanceError& error) {
      fail(error.what());
    }
  }();
  if (!record) {
    if (options.itemToOpen) return openThroughRunningHost(*env, *options.itemToOpen);
    return 0;  // one host per user; the one running serves everyone
  }

  fs::path libraryFolder = fs::path(*container) / "Library";
  fs::path database = libraryFolder / "library.sqlite";
  platform::openFolder(libraryFolder, true);
  platform::UniqueFD libraryLock;
  try {
    libraryLock = host::lockLibraryFolder(libraryFolder);
    host::checkLibraryIntact(libraryFolder);
  } catch (const host::LibraryFolderError& error) {
    fail(error.what());
  }
  // A library made readable to others before is made private now. SQLite gives its -wal and
  // -shm files the database's permissions, so a database made here first as 0600 keeps them
  // private too, without a umask that programs opened for the user would inherit.
  platform::makePrivate(libraryFolder);
  for (const char* suffix : {"", "-wal", "-shm"}) platform::makePrivate(database.string() + suffix);
  host::keepCompanionsWritable(database);
  if (int fd = open(database.c_str(), O_RDONLY | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600); fd >= 0)
    close(fd);
  else if (errno == ELOOP)
    fail(database.string() + " is a link; the library is kept only in a file of its own.");
  try {
    host::OpenedLibrary opened = host::openLibrary(database);
    host::Library& library = *opened.library;
    host::keepCompanionsWritable(database);
    // None on a read-only or full disk. Without it, the folder of an add cut short by a
    // crash is kept rather than removed: nothing it doesn't know of is ever deleted.
    std::unique_ptr<host::FileLedger> ledger =
        opened.alone ? nullptr : host::openFileLedger(database.string());
    host::FileStore files(libraryFolder / "Files", [&](const std::string& id) {
      if (ledger) ledger->recordPending(id);
    });
    auto images = host::makeQtImageCodec();
    auto opener = host::makeDesktopOpener();
    auto uuids = platform::makeRandomUUIDSource();
    auto clock = platform::makeSystemWallClock();
    host::HostServices services{library, files, *images, *opener, *uuids, *clock};
    host::Publisher publisher(library, files, *images, *container, *clock);
    host::CaptureImporter importer(services, fs::path(*container) / "Incoming",
                                   fs::path(*container) / "Rejected", libraryFolder / "Removing");
    // A change is answered once it has committed; the shared files follow.
    host::BackgroundWork publishing([&](const auto&) { publishQuietly(publisher); },
                                    host::BackgroundWork::AtStop::runAsked);
    host::CommandHandlers handlers(services, [&] { publishing.ask(); });

    removeLeftovers(*container, files, ledger.get(), library);
    if (options.demo) host::seedDemoLibrary(services, host::demoArtworkPNG);
    publishQuietly(publisher);

    // Requests are read as they arrive, so a file sent with add_file is never held whole.
    platform::PortServer server(*platform::portSocketPath(*env, platform::kCommandPortName),
                                [&](std::uint32_t, std::uint32_t length) {
                                  return host::makeRequestExchange(handlers, files, length);
                                });
    // Listen before taking signals, so a capture posted during launch is not missed; the
    // rescan below catches anything that came before.
    std::unique_ptr<host::IncomingWatch> watch = host::watchIncoming(*env);
    server.start();
    record->setRunning();
    if (options.itemToOpen)
      handlers.respond(
          wire::CLIRequest{"open", wire::JSONObject{{"id", *options.itemToOpen}}}.encode());

    // A long backlog of captures is no reason to ignore SIGTERM: the import stops between
    // captures, commits what it took, and the loop below ends.
    auto stopRequested = [&] {
      pollfd pending{signals, POLLIN, 0};
      return poll(&pending, 1, 0) > 0;
    };
    auto importAndPublish = [&] {
      host::ImportReport report = importer.importAll(stopRequested);
      if (report.imported + report.setAside > 0) publishQuietly(publisher);
    };
    // The inbox is taken once the port serves: a long backlog of captures must not keep the
    // programs waiting for the host to finish launching.
    importAndPublish();
    for (;;) {
      // sd-bus may already hold messages it read while doing something else, so it is asked
      // before every wait, not only when its descriptor wakes us.
      if (watch && watch->takeSignal()) importAndPublish();
      pollfd fds[2] = {{signals, POLLIN, 0}, {watch ? watch->fd() : -1, 0, 0}};
      if (watch) fds[1].events = watch->events();
      int ready = poll(fds, 2, kRescanSeconds * 1000);
      if (ready < 0 && errno != EINTR) break;
      if (fds[0].revents & POLLIN) break;
      if (ready == 0) {
        if (!watch || watch->broken()) watch = host::watchIncoming(*env);
        importAndPublish();
      }
    }
    server.stop();
  } catch (const std::exception& error) {
    fail(error.what());
  }
  return 0;
}
