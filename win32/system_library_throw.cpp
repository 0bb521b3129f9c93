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
  // The classic run-time number for "error in loading DLL" when the system
  // gives none.
  throw RunError(error != 0 ? static_cast<long>(error) : 48,
                 "Cannot load " + name + ": " + ErrorText(error));
}

}  // namespace kestrad
