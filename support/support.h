// The support library as the program sees it.
//
// The product implements this with the run-time binding to tamarak9.dll; the
// unit tests with fakes. Every function may throw RunError when the library
// or the entry point cannot be reached. The registry functions,
// ConnectRegistry and DisconnectRegistry may be called from several threads
// at once.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kestrad {

// HKEY_LOCAL_MACHINE as it crosses the library's interface.
constexpr std::uint32_t kHiveLocalMachine = 0x80000002u;

class Support {
 public:
  virtual ~Support() = default;

  virtual std::int32_t LibVersion() = 0;
  // True when the value was read; `value` is filled only then.
  virtual bool ReadDWORDFromRegistry(std::uint32_t hive, const std::string& key,
                                     const std::string& name, std::int32_t& value) = 0;
  // Empty when the value could not be read.
  virtual std::string ReadStringFromRegistry(std::uint32_t hive, const std::string& key,
                                             const std::string& name) = 0;
  virtual bool WriteDWORDToRegistry(std::uint32_t hive, const std::string& key,
                                    const std::string& name, std::int32_t value) = 0;
  // False only when the system says the key is not there; any other
  // failure (access denied included) counts as a key that exists.
  virtual bool KeyExists(std::uint32_t hive, const std::string& key) = 0;
  // The hive that stands for another machine's HKEY_LOCAL_MACHINE in the
  // calls above; `machine` is its name, without a leading "\\". Throws
  // RunError with the system's error code and message when the machine
  // cannot be reached.
  virtual std::uint32_t ConnectRegistry(const std::string& machine) = 0;
  // Frees what ConnectRegistry holds for `hive`; the hive is no machine's
  // afterwards. Throws RunError when the library cannot (an older one).
  virtual void DisconnectRegistry(std::uint32_t hive) = 0;
  virtual void ShellRun(const std::string& address) = 0;
  virtual std::vector<std::string> GetArgs(const std::string& text) = 0;
  virtual void OpenConsole() = 0;
  virtual bool ConsoleOpen() = 0;
  virtual void CloseConsole() = 0;
  virtual void SetConsoleAttributes(std::int32_t foreground, std::int32_t background) = 0;
  virtual void ClearConsoleAttributes() = 0;
  virtual void Writes(const std::string& text) = 0;
  // True when the text and its line end were written, in one write.
  virtual bool WriteLn(const std::string& text) = 0;
  // The same to standard error.
  virtual bool WriteErrLn(const std::string& text) = 0;
  // A progress line on standard error, rewritten in place: only when
  // standard error is a console, never into a file or pipe. The empty text
  // clears it. True when it was shown.
  virtual bool WriteErrProgress(const std::string& text) = 0;
  virtual bool InNativeConsole() = 0;
  virtual void Pause(const std::string& prompt) = 0;
};

}  // namespace kestrad
