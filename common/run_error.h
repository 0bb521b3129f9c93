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
// The classic run-time error numbers, for failures that bring no system
// error code of their own.
namespace classic_error {
inline constexpr long kInvalidCall = 5;          // "Invalid procedure call or argument"
inline constexpr long kOverflow = 6;             // "Overflow"
inline constexpr long kOutOfMemory = 7;          // "Out of memory"
inline constexpr long kLoadFailed = 48;          // "Error in loading DLL"
inline constexpr long kFileAccess = 75;          // "Path/File access error"
inline constexpr long kEntryPointMissing = 453;  // "Can't find DLL entry point"
}  // namespace classic_error

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

// Another machine's registry failed for any reason but "not there": it was
// switched off or left the network during the run, or refused a key. What
// the run read of it so far is no verdict, so error traps pass it on to
// the run's own end instead of going on with the next step.
class MachineLost : public RunError {
 public:
  using RunError::RunError;
};

}  // namespace kestrad
