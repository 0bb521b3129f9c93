#include <string>

#include "common/run_error.h"
#include "win32/error_text.h"
#include "win32/system_library.h"

namespace kestrad {

void RequireSystemLibrary(const wchar_t* file_name) {
  if (LoadSystemLibrary(file_name) != nullptr) return;
  const DWORD error = GetLastError();
  // The system DLLs' names are ASCII.
  std::string name;
  for (const wchar_t* c = file_name; *c != L'\0'; ++c) name += static_cast<char>(*c);
  ThrowCannotLoad(name, error);
}

void ThrowCannotLoad(const std::string& name, unsigned long error) {
  throw RunError(error != 0 ? static_cast<long>(error) : classic_error::kLoadFailed,
                 "Cannot load " + name + ": " + ErrorText(error));
}

}  // namespace kestrad
