#pragma once
// The framework's exception classes.
//   Exception        base of the framework's errors; the message is UTF-8.
//   EAbort           the silent abort: the application's error box ignores it, so a routine
//                    that has already told the user what went wrong can leave with it.
//   EFilerError      form data that cannot be read or written; EReadError and EWriteError name
//                    the byte offset in the stream where the fault was found.
//   EClassNotFound   a class name in form data that no registered class answers to.
//   EInvalidOperation a call that the object's state does not allow (a window operation on a
//                    control without a parent, say).

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>

class Exception : public std::runtime_error {
 public:
  explicit Exception(const std::string& message) : std::runtime_error(message) {}
};

class EAbort : public Exception {
 public:
  EAbort() : Exception("Operation aborted") {}
};

// Leaves the current operation without a message.
[[noreturn]] void Abort();

class EFilerError : public Exception {
 public:
  EFilerError(const std::string& message, std::optional<std::uint64_t> offset = std::nullopt)
      : Exception(Compose(message, offset)), offset_(offset) {}
  std::optional<std::uint64_t> Offset() const { return offset_; }

 private:
  static std::string Compose(const std::string& m, std::optional<std::uint64_t> offset) {
    return offset ? m + " (form data offset " + std::to_string(*offset) + ")" : m;
  }
  std::optional<std::uint64_t> offset_;
};

class EReadError : public EFilerError {
 public:
  using EFilerError::EFilerError;
};

class EWriteError : public EFilerError {
 public:
  using EFilerError::EFilerError;
};

class EClassNotFound : public EReadError {
 public:
  using EReadError::EReadError;
};

class EInvalidOperation : public Exception {
 public:
  using Exception::Exception;
};

// A text that does not convert to the number asked for.
class EConvertError : public Exception {
 public:
  using Exception::Exception;
};

// Decimal text (blanks before it, then an optional sign) to a signed 32-bit integer; anything
// else, or a value beyond the 32-bit range, raises EConvertError "'text' is not a valid integer
// value".
inline std::int32_t StrToInt(const std::string& s) {
  std::size_t i = 0;
  while (i < s.size() && s[i] == ' ') ++i;
  bool negative = false;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';
  const std::size_t firstDigit = i;
  std::int64_t value = 0;
  for (; i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i) {
    value = value * 10 + (s[i] - '0');
    if (value > std::int64_t{INT32_MAX} + 1) break;
  }
  const std::int64_t limit = negative ? std::int64_t{INT32_MAX} + 1 : INT32_MAX;
  if (i == firstDigit || i != s.size() || value > limit)
    throw EConvertError("'" + s + "' is not a valid integer value");
  return static_cast<std::int32_t>(negative ? -value : value);
}
