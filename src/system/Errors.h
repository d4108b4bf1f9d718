#pragma once
#include <stdexcept>
#include <string>

namespace setup {

// Every failure the user may see travels as an Exception whose what() is the text shown.
class Exception : public std::runtime_error {
 public:
  explicit Exception(const std::string& Message) : std::runtime_error(Message) {}
};

// A silent abort: ends a step without any message box. Callers recognise it by type.
class EAbort : public Exception {
 public:
  EAbort() : Exception("Operation aborted") {}
};

// Replaces the first "%s" of Pattern with Argument (the message tables use one argument each).
std::string FormatMessage1(const std::string& Pattern, const std::string& Argument);

}  // namespace setup
