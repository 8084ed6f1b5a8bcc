// cli/link/user_error.h - the base of every failure whose text reaches people and agents.
// what() is a C string and so ends at the first NUL byte, which a host's or an agent's text may
// hold; text() is the whole text, and errorText() is what the error edges print and return.
#pragma once

#include <exception>
#include <memory>
#include <stdexcept>
#include <string>
#include <utility>

namespace nolt::link {

class UserError : public std::runtime_error {
 public:
  explicit UserError(std::string text)
      : std::runtime_error(text), text_(std::make_shared<const std::string>(std::move(text))) {}

  const std::string& text() const noexcept { return *text_; }

 private:
  // Shared, so that copying the error, as throwing may, cannot throw.
  std::shared_ptr<const std::string> text_;
};

// The whole text of a failure: text() of a UserError, what() of any other.
inline std::string errorText(const std::exception& error) {
  if (const auto* user = dynamic_cast<const UserError*>(&error)) return user->text();
  return error.what();
}

}  // namespace nolt::link
