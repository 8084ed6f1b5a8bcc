// JSONValue decoding and encoding next to raw Boost.JSON parsing and serializing of the same
// documents: a small request, a 200-item search result and a 5 MB image result.
#include <benchmark/benchmark.h>

#include <boost/json.hpp>
#include <string>

#include "wire/json_value.h"

namespace {

using nolt::wire::JSONArray;
using nolt::wire::JSONEncoding;
using nolt::wire::JSONObject;
using nolt::wire::JSONValue;

std::string smallRequest() {
  return R"({"command":"search","arguments":{"query":"red chair","space":"Work","limit":5}})";
}

std::string searchResult() {
  JSONArray items;
  for (int i = 0; i < 200; ++i) {
    char id[40];
    std::snprintf(id, sizeof id, "6F9619FF-8B86-D011-B42D-00C04FC9%04X", i);
    items.push_back(JSONObject{
        {"id", id},
        {"title", "Reference " + std::to_string(i) + " – a chair in red, seen at the fair"},
        {"tags", JSONArray{"red", "chair", "furniture"}},
        {"url", "https://example.com/items/" + std::to_string(i)},
        {"created", 7.5e8 + i * 3600.25},
        {"favorite", i % 7 == 0}});
  }
  return JSONValue(JSONObject{{"items", items}, {"total", 1432}}).encode(JSONEncoding::stream);
}

std::string imageResult() {
  std::string data;
  data.reserve(5'000'000);
  static const char kAlphabet[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  unsigned state = 12345;
  while (data.size() < 5'000'000) {
    state = state * 1103515245u + 12345u;
    data += kAlphabet[(state >> 16) % 64];
  }
  return JSONValue(JSONObject{{"data", data}, {"mimeType", "image/jpeg"}})
      .encode(JSONEncoding::stream);
}

const std::string& document(int which) {
  static const std::string docs[] = {smallRequest(), searchResult(), imageResult()};
  return docs[which];
}

const char* kNames[] = {"small_request", "search_200", "image_5MB"};

void decodeJSONValue(benchmark::State& state) {
  const std::string& text = document(static_cast<int>(state.range(0)));
  for (auto _ : state) benchmark::DoNotOptimize(JSONValue::decode(text));
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
  state.SetLabel(kNames[state.range(0)]);
}

void decodeBoost(benchmark::State& state) {
  const std::string& text = document(static_cast<int>(state.range(0)));
  for (auto _ : state) benchmark::DoNotOptimize(boost::json::parse(text));
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
  state.SetLabel(kNames[state.range(0)]);
}

void encodeJSONValue(benchmark::State& state) {
  const std::string& text = document(static_cast<int>(state.range(0)));
  JSONValue value = JSONValue::decode(text);
  for (auto _ : state) benchmark::DoNotOptimize(value.encode(JSONEncoding::stream));
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
  state.SetLabel(kNames[state.range(0)]);
}

void encodeBoost(benchmark::State& state) {
  const std::string& text = document(static_cast<int>(state.range(0)));
  boost::json::value value = boost::json::parse(text);
  for (auto _ : state) benchmark::DoNotOptimize(boost::json::serialize(value));
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
  state.SetLabel(kNames[state.range(0)]);
}

BENCHMARK(decodeJSONValue)->DenseRange(0, 2);
BENCHMARK(decodeBoost)->DenseRange(0, 2);
BENCHMARK(encodeJSONValue)->DenseRange(0, 2);
BENCHMARK(encodeBoost)->DenseRange(0, 2);

}  // namespace

BENCHMARK_MAIN();
