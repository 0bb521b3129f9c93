// Where the support library may be taken from. Platform-neutral.
#pragma once

#include <cstddef>
#include <vector>

namespace kestrad {

// The folders to look in for the support library, in order, each ending in a
// backslash: the program's own folder, the system folders, then the folders
// of `path_variable` (PATH) that are absolute local paths ("C:\..."), quotes
// removed. Relative, drive-relative ("C:x"), rooted-without-drive ("\x") and
// network ("\\server\share") entries are left out: they would bring in the
// current folder, another drive's current folder or a share. A folder name
// may hold a ";": nothing is joined into a list.
template <class String>
std::vector<String> LibraryFolders(const String& program_path, const String& system_folder,
                                   const String& windows_folder, const String& path_variable) {
  using Char = typename String::value_type;
  const auto with_slash = [](String folder) {
    if (!folder.empty() && folder.back() != Char('\\') && folder.back() != Char('/'))
      folder += Char('\\');
    return folder;
  };
  std::vector<String> folders;
  const std::size_t slash = program_path.find_last_of(String(1, Char('\\')) + Char('/'));
  if (slash != String::npos) folders.push_back(program_path.substr(0, slash + 1));
  for (const String& folder : {system_folder, windows_folder}) {
    if (!folder.empty()) folders.push_back(with_slash(folder));
  }
  for (std::size_t start = 0; start <= path_variable.size();) {
    std::size_t end = path_variable.find(Char(';'), start);
    if (end == String::npos) end = path_variable.size();
    String entry = path_variable.substr(start, end - start);
    start = end + 1;
    if (entry.size() >= 2 && entry.front() == Char('"') && entry.back() == Char('"')) {
      entry = entry.substr(1, entry.size() - 2);
    }
    const Char drive = entry.empty() ? Char(0) : entry[0];
    const bool letter =
        (drive >= Char('A') && drive <= Char('Z')) || (drive >= Char('a') && drive <= Char('z'));
    if (letter && entry.size() >= 3 && entry[1] == Char(':') &&
        (entry[2] == Char('\\') || entry[2] == Char('/'))) {
      folders.push_back(with_slash(entry));
    }
  }
  return folders;
}

}  // namespace kestrad
