// A run-time failure: what a procedure's error trap catches and reports.
#pragma once

#include <stdexcept>
#include <string>

namespace kestrad {

// Carries the failure's number (a Win32 error code where there is one) and
// a description meant for a person.
class RunError : public std::runtime_error {
 public:
  RunError(long number, std::string description)
      : std::runtime_error(description), number_(number), description_(std::move(description)) {}

  long number() const { return number_; }
  const std::string& description() const { return description_; }

 private:
  long number_;
  std::string description_;
};

}  // namespace kestrad
