// platform/json_reader.h - the one way this project reads JSON text.
// Every reader (host replies, agent lines, capture files, the widget snapshot) goes through
// read(), so numbers and nesting are treated alike everywhere: each number becomes the
// nearest double to its own text, and nesting deeper than kMaxDepth is an error, never a
// stack overflow. Text must be UTF-8; invalid UTF-8 is an error.
#pragma once

#include <boost/json/basic_parser_impl.hpp>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace nolt::platform::json {

inline constexpr std::size_t kMaxDepth = 1000;

// The nearest double to valid JSON number text; none when its magnitude is too large for a
// double. Numbers too small for a double read as zero of their sign.
std::optional<double> numberFromText(std::string_view text);

// read() feeds one JSON document to a sink, which has these members, each returning false to
// stop reading with an error:
//   bool null(); bool boolean(bool); bool number(double); bool string(std::string_view);
//   bool key(std::string_view); bool beginArray(); bool endArray();
//   bool beginObject(); bool endObject();
// A sink that refuses a value can keep its own reason; read() reports a generic one.
// Returns the error text, or none when the whole text was one valid JSON document.
template <class Sink>
std::optional<std::string> read(std::string_view text, Sink& sink);

namespace detail {

boost::json::parse_options parseOptions();

template <class Sink>
struct Handler {
  static constexpr std::size_t max_object_size = std::size_t(-1);
  static constexpr std::size_t max_array_size = std::size_t(-1);
  static constexpr std::size_t max_key_size = std::size_t(-1);
  static constexpr std::size_t max_string_size = std::size_t(-1);

  explicit Handler(Sink& s) : sink(s) {}

  Sink& sink;
  std::string pending;  // a string, key or number split over several parts
  bool outOfRange = false;

  using sv = boost::json::string_view;
  using ec_t = boost::json::error_code;

  static bool refuse(ec_t& ec) {
    ec = boost::json::error::syntax;
    return false;
  }
  bool check(bool ok, ec_t& ec) { return ok || refuse(ec); }
  std::string_view whole(sv last) {
    if (pending.empty()) return {last.data(), last.size()};
    pending.append(last.data(), last.size());
    return pending;
  }

  bool on_document_begin(ec_t&) { return true; }
  bool on_document_end(ec_t&) { return true; }
  bool on_array_begin(ec_t& ec) { return check(sink.beginArray(), ec); }
  bool on_array_end(std::size_t, ec_t& ec) { return check(sink.endArray(), ec); }
  bool on_object_begin(ec_t& ec) { return check(sink.beginObject(), ec); }
  bool on_object_end(std::size_t, ec_t& ec) { return check(sink.endObject(), ec); }
  bool on_string_part(sv s, std::size_t, ec_t&) {
    pending.append(s.data(), s.size());
    return true;
  }
  bool on_string(sv s, std::size_t, ec_t& ec) {
    bool ok = sink.string(whole(s));
    pending.clear();
    return check(ok, ec);
  }
  bool on_key_part(sv s, std::size_t, ec_t&) {
    pending.append(s.data(), s.size());
    return true;
  }
  bool on_key(sv s, std::size_t, ec_t& ec) {
    bool ok = sink.key(whole(s));
    pending.clear();
    return check(ok, ec);
  }
  bool on_number_part(sv s, ec_t&) {
    pending.append(s.data(), s.size());
    return true;
  }
  // Boost's own conversion is not always the nearest double, so every number is read again
  // from its text.
  bool number(sv last, ec_t& ec) {
    std::optional<double> d = numberFromText(whole(last));
    pending.clear();
    if (!d) {
      outOfRange = true;
      return refuse(ec);
    }
    return check(sink.number(*d), ec);
  }
  bool on_int64(std::int64_t, sv s, ec_t& ec) { return number(s, ec); }
  bool on_uint64(std::uint64_t, sv s, ec_t& ec) { return number(s, ec); }
  bool on_double(double, sv s, ec_t& ec) { return number(s, ec); }
  bool on_bool(bool b, ec_t& ec) { return check(sink.boolean(b), ec); }
  bool on_null(ec_t& ec) { return check(sink.null(), ec); }
  bool on_comment_part(sv, ec_t&) { return true; }
  bool on_comment(sv, ec_t&) { return true; }
};

std::string errorText(const boost::json::error_code& ec, std::size_t offset, bool outOfRange,
                      bool incomplete);

}  // namespace detail

template <class Sink>
std::optional<std::string> read(std::string_view text, Sink& sink) {
  boost::json::basic_parser<detail::Handler<Sink>> parser(detail::parseOptions(), sink);
  boost::json::error_code ec;
  std::size_t used = parser.write_some(false, text.data(), text.size(), ec);
  if (!ec && used == text.size() && parser.done()) return std::nullopt;
  return detail::errorText(ec, used, parser.handler().outOfRange, !ec && used == text.size());
}

}  // namespace nolt::platform::json
