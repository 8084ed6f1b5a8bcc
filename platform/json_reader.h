// platform/json_reader.h - the one way this project reads JSON text.
// Every reader (requests and replies on the port, agent lines, capture files, the widget
// snapshot) goes through it, so numbers and nesting are treated alike everywhere: each number
// becomes the nearest double to its own text, and nesting deeper than kMaxDepth is an error,
// never a stack overflow. Text must be UTF-8; invalid UTF-8 is an error.
#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>

namespace nolt::platform::json {

inline constexpr std::size_t kMaxDepth = 1000;

// The nearest double to valid JSON number text; none when its magnitude is too large for a
// double. Numbers too small for a double read as zero of their sign.
std::optional<double> numberFromText(std::string_view text);

// Where a reader sends what it reads. Each member returns false to stop reading with an error;
// a sink that refuses a value can keep its own reason, the reader reports a generic one.
class Sink {
 public:
  virtual ~Sink() = default;
  virtual bool null() = 0;
  virtual bool boolean(bool value) = 0;
  virtual bool number(double value) = 0;
  virtual bool string(std::string_view text) = 0;
  virtual bool key(std::string_view text) = 0;
  virtual bool beginArray() = 0;
  virtual bool endArray() = 0;
  virtual bool beginObject() = 0;
  virtual bool endObject() = 0;
  // A string that arrives over several parts of the text is gathered and given to string()
  // whole. A sink that answers true here takes strings as they come instead: stringPart() for
  // every piece but the last, then string() with the last (often empty) piece.
  virtual bool takesStringParts() const { return false; }
  virtual bool stringPart(std::string_view) { return false; }
};

// The error text, or none when the whole text is one valid JSON document.
std::optional<std::string> readText(std::string_view text, Sink& sink);

// read() takes any sink with the members of Sink above (no need to derive from it).
template <class S>
std::optional<std::string> read(std::string_view text, S& sink);

// Reads a document that arrives in parts, holding only what a value split between parts needs.
class Reader {
 public:
  explicit Reader(Sink& sink);
  ~Reader();
  Reader(const Reader&) = delete;
  Reader& operator=(const Reader&) = delete;

  // False once the text read so far cannot begin a valid document (error() says why).
  bool write(std::string_view part);
  // The text has ended: the error text, or none when the parts made one valid document.
  std::optional<std::string> finish();

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

namespace detail {

template <class S>
class SinkOf final : public Sink {
 public:
  explicit SinkOf(S& sink) : sink_(sink) {}
  bool null() override { return sink_.null(); }
  bool boolean(bool value) override { return sink_.boolean(value); }
  bool number(double value) override { return sink_.number(value); }
  bool string(std::string_view text) override { return sink_.string(text); }
  bool key(std::string_view text) override { return sink_.key(text); }
  bool beginArray() override { return sink_.beginArray(); }
  bool endArray() override { return sink_.endArray(); }
  bool beginObject() override { return sink_.beginObject(); }
  bool endObject() override { return sink_.endObject(); }

 private:
  S& sink_;
};

}  // namespace detail

template <class S>
std::optional<std::string> read(std::string_view text, S& sink) {
  if constexpr (std::is_base_of_v<Sink, S>) {
    return readText(text, sink);
  } else {
    detail::SinkOf<S> adapted(sink);
    return readText(text, adapted);
  }
}

}  // namespace nolt::platform::json
