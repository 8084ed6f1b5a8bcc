// A timeline over a 100,000-item snapshot (about 20 MB) against its floor: six Boost.JSON
// parses of the same file plus six passes that hash and sort every item. The timeline reads
// and decodes the file once per entry, so this is the widget's worst regular cost.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <algorithm>
#include <boost/json.hpp>
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "widget/timeline.h"

namespace {

using namespace nolt::widget;

constexpr int kItems = 100'000;
constexpr double kNewYear = 1767225600;

std::string uuidText(std::uint64_t a, std::uint64_t b) {
  char text[40];
  std::snprintf(
      text, sizeof text, "%08llX-%04llX-4%03llX-8%03llX-%012llX",
      static_cast<unsigned long long>(a >> 32), static_cast<unsigned long long>(a >> 16 & 0xFFFF),
      static_cast<unsigned long long>(a & 0xFFF), static_cast<unsigned long long>(b >> 48 & 0xFFF),
      static_cast<unsigned long long>(b & 0xFFFFFFFFFFFF));
  return text;
}

// A container folder holding a generated snapshot: 20 spaces, 200 collections, and items with
// titles, a space, up to two collections and weights from 0 to 10.
class Library {
 public:
  Library() {
    char pattern[] = "/tmp/nolt-timeline-bench-XXXXXX";
    if (!mkdtemp(pattern)) std::abort();
    container_ = pattern;
    std::filesystem::create_directories(container_ + "/Widget");
    std::uint64_t state = 0x9E3779B97F4A7C15;
    auto next = [&] {
      state ^= state << 13, state ^= state >> 7, state ^= state << 17;
      return state;
    };
    std::vector<std::string> spaces, collections;
    for (int i = 0; i < 20; ++i) spaces.push_back(uuidText(next(), next()));
    for (int i = 0; i < 200; ++i) collections.push_back(uuidText(next(), next()));
    std::string text = "{\"items\":[";
    for (int i = 0; i < kItems; ++i) {
      if (i) text += ",\n";
      text += "{\"id\":\"" + uuidText(next(), next()) + "\",\"title\":\"Reference " +
              std::to_string(i) + " \\u2014 oak chair\",\"spaceID\":\"" +
              spaces[next() % spaces.size()] + "\",\"collectionIDs\":[";
      for (std::uint64_t c = 0, n = next() % 3; c < n; ++c)
        text += (c ? ",\"" : "\"") + collections[next() % collections.size()] + "\"";
      text += "],\"weight\":" + std::to_string(static_cast<double>(next() % 1000) / 100) + "}";
    }
    text += "],\"spaces\":[";
    for (std::size_t i = 0; i < spaces.size(); ++i)
      text += (i ? ",{\"id\":\"" : "{\"id\":\"") + spaces[i] + "\",\"name\":\"Space " +
              std::to_string(i) + "\"}";
    text += "],\"collections\":[";
    for (std::size_t i = 0; i < collections.size(); ++i)
      text += (i ? ",{\"id\":\"" : "{\"id\":\"") + collections[i] + "\",\"name\":\"Collection " +
              std::to_string(i) + "\",\"spaceID\":\"" + spaces[i % spaces.size()] + "\"}";
    text += "]}";
    std::ofstream(snapshotPath(container_)) << text;
    bytes_ = text.size();
  }
  ~Library() { std::filesystem::remove_all(container_); }

  const std::string& container() const { return container_; }
  std::size_t bytes() const { return bytes_; }

 private:
  std::string container_;
  std::size_t bytes_ = 0;
};

const Library& library() {
  static Library library;
  return library;
}

// One read into a buffer of the file's size, as the widget reads it.
std::string readFile(const std::string& path) {
  std::string text(std::filesystem::file_size(path), '\0');
  std::ifstream(path, std::ios::binary)
      .read(text.data(), static_cast<std::streamsize>(text.size()));
  return text;
}

void timeline(benchmark::State& state) {
  const std::string& container = library().container();
  Provider provider([&] { return loadSnapshot(container); });
  for (auto _ : state) {
    Timeline t = provider.timeline({}, Family::systemLarge, kNewYear);
    if (t.entries.back().items.size() != 4)
      state.SkipWithError("no items: the snapshot did not decode");
    benchmark::DoNotOptimize(t);
  }
  state.counters["snapshot_MB"] = static_cast<double>(library().bytes()) / 1e6;
}

// The floor: what any reader must do at least, six times over.
void floor(benchmark::State& state) {
  std::string path = snapshotPath(library().container());
  // The identifiers and weights to hash and sort, taken once from a decoded snapshot.
  WidgetSnapshot snapshot = loadSnapshot(library().container());
  for (auto _ : state) {
    for (int i = 0; i < Provider::kEntryCount; ++i) {
      std::string text = readFile(path);
      boost::json::value document = boost::json::parse(text);
      benchmark::DoNotOptimize(document);
    }
    for (int i = 0; i < Provider::kEntryCount; ++i) {
      std::vector<std::pair<double, std::size_t>> keys;
      keys.reserve(snapshot.items.size());
      std::uint64_t s = seed(kNewYear + i * kPeriod);
      for (std::size_t n = 0; n < snapshot.items.size(); ++n)
        keys.push_back({itemKey(snapshot.items[n].id, s, snapshot.items[n].weight), n});
      std::stable_sort(keys.begin(), keys.end(),
                       [](const auto& a, const auto& b) { return a.first < b.first; });
      benchmark::DoNotOptimize(keys);
    }
  }
}

BENCHMARK(timeline)->Unit(benchmark::kMillisecond);
BENCHMARK(floor)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
