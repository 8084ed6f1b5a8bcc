#include "platform/json_reader.h"

#include <boost/json/basic_parser_impl.hpp>
#include <charconv>
#include <cmath>

namespace nolt::platform::json {

namespace {

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// Order of magnitude of valid JSON number text whose value is out of a double's range: above
// zero means too large, otherwise too small. The exponent saturates rather than overflowing.
long long magnitude(std::string_view text) {
  std::size_t i = (!text.empty() && text[0] == '-') ? 1 : 0;
  long long order = 0;
  bool seen = false;  // a non-zero digit
  long long intDigits = 0;
  for (; i < text.size() && isDigit(text[i]); ++i) {
    if (seen || text[i] != '0') {
      if (!seen) order = 0;
      seen = true;
      ++intDigits;
    }
  }
  if (seen) order = intDigits - 1;
  if (i < text.size() && text[i] == '.') {
    long long position = 0;
    for (++i; i < text.size() && isDigit(text[i]); ++i) {
      ++position;
      if (!seen && text[i] != '0') {
        seen = true;
        order = -position;
      }
    }
  }
  if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
    ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    long long exponent = 0;
    for (; i < text.size() && isDigit(text[i]); ++i)
      if (exponent < 1'000'000'000) exponent = exponent * 10 + (text[i] - '0');
    order += negative ? -exponent : exponent;
  }
  return order;
}

}  // namespace

std::optional<double> numberFromText(std::string_view text) {
  double value = 0;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec == std::errc() && end == text.data() + text.size()) return value;
  if (ec == std::errc::result_out_of_range && magnitude(text) <= 0)
    return (!text.empty() && text[0] == '-') ? -0.0 : 0.0;
  return std::nullopt;
}

namespace {

// Boost's parser handler, passing every event on to a Sink.
struct Handler {
  static constexpr std::size_t max_object_size = std::size_t(-1);
  static constexpr std::size_t max_array_size = std::size_t(-1);
  static constexpr std::size_t max_key_size = std::size_t(-1);
  static constexpr std::size_t max_string_size = std::size_t(-1);

  explicit Handler(Sink& s) : sink(s), streams(s.takesStringParts()) {}

  Sink& sink;
  bool streams;
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
  bool on_string_part(sv s, std::size_t, ec_t& ec) {
    if (streams) return check(sink.stringPart({s.data(), s.size()}), ec);
    pending.append(s.data(), s.size());
    return true;
  }
  bool on_string(sv s, std::size_t, ec_t& ec) {
    bool ok = sink.string(streams ? std::string_view(s.data(), s.size()) : whole(s));
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

using Parser = boost::json::basic_parser<Handler>;

boost::json::parse_options parseOptions() {
  boost::json::parse_options options;
  options.max_depth = kMaxDepth;
  return options;
}

std::string errorText(const boost::json::error_code& ec, std::size_t offset, bool outOfRange,
                      bool incomplete) {
  std::string where = " at byte " + std::to_string(offset);
  if (outOfRange) return "number out of range" + where;
  if (incomplete) return "unexpected end of JSON text";
  if (!ec) return "extra text after the JSON value" + where;
  return ec.message() + where;
}

}  // namespace

std::optional<std::string> readText(std::string_view text, Sink& sink) {
  Parser parser(parseOptions(), sink);
  boost::json::error_code ec;
  std::size_t used = parser.write_some(false, text.data(), text.size(), ec);
  if (!ec && used == text.size() && parser.done()) return std::nullopt;
  return errorText(ec, used, parser.handler().outOfRange, !ec && used == text.size());
}

struct Reader::Impl {
  explicit Impl(Sink& sink) : parser(parseOptions(), sink) {}
  Parser parser;
  std::size_t offset = 0;
  std::optional<std::string> error;
};

Reader::Reader(Sink& sink) : impl_(std::make_unique<Impl>(sink)) {}
Reader::~Reader() = default;

bool Reader::write(std::string_view part) {
  if (impl_->error) return false;
  boost::json::error_code ec;
  std::size_t used = impl_->parser.write_some(true, part.data(), part.size(), ec);
  impl_->offset += used;
  if (!ec && used == part.size()) return true;
  impl_->error = errorText(ec, impl_->offset, impl_->parser.handler().outOfRange, false);
  return false;
}

std::optional<std::string> Reader::finish() {
  if (impl_->error) return impl_->error;
  boost::json::error_code ec;
  std::size_t used = impl_->parser.write_some(false, nullptr, 0, ec);
  if (!ec && used == 0 && impl_->parser.done()) return std::nullopt;
  return errorText(ec, impl_->offset, impl_->parser.handler().outOfRange, !ec);
}

}  // namespace nolt::platform::json
