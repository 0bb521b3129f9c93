// The folders the support library may come from, from hostile PATH values.
#include "support/library_search.h"

#include <gtest/gtest.h>

#include <string>

namespace kestrad {
namespace {

TEST(LibraryFoldersTest, ProgramFolderSystemFoldersThenOnlyAbsoluteLocalPathEntries) {
  const std::wstring path =
      L"bin;..\\x;.\\bin;.;;C:rel;\\rooted;\\\\server\\share;//server/share;\"C:\\quoted dir\";"
      L"D:\\ok;d:/ok2\\;1:\\no";
  const std::vector<std::wstring> want = {L"C:\\app;x\\",   L"C:\\WINDOWS\\system32\\",
                                          L"C:\\WINDOWS\\", L"C:\\quoted dir\\",
                                          L"D:\\ok\\",      L"d:/ok2\\"};
  EXPECT_EQ(want, LibraryFolders<std::wstring>(L"C:\\app;x\\kestrad.exe", L"C:\\WINDOWS\\system32",
                                               L"C:\\WINDOWS", path));
  // No program path, no system folders, no PATH: nothing to look in.
  EXPECT_TRUE(LibraryFolders<std::wstring>(L"", L"", L"", L"").empty());
}

}  // namespace
}  // namespace kestrad
