// A run-time failure: what a procedure's error trap catches and reports.
#pragma once

#include <exception>
#include <string>
#include <utility>

namespace kestrad {

// Carries the failure's number (a Win32 error code where there is one) and
// a description meant for a person. Derived from std::exception alone:
// std::runtime_error would link a second, reference-counted std::string
// into the program just to copy the description once more.
class RunError : public std::exception {
 public:
  RunError(long number, std::string description)
      : number_(number), description_(std::move(description)) {}

  const char* what() const noexcept override { return description_.c_str(); }
  long number() const { return number_; }
  const std::string& description() const { return description_; }

 private:
  long number_;
  std::string description_;
};

}  // namespace kestrad
