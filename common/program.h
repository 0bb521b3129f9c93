// The program's own constants, shared by the console texts and the window.
// Their values are stated once, in the build (common/program_config.h.in);
// texts that compose one at compile time, such as the maker's name
// (KESTRAD_MAKER) in the usage banner and on the window's last button, use
// the macro itself.
#pragma once

#include "program_config.h"

namespace kestrad {

inline constexpr char kProgramName[] = KESTRAD_NAME;
inline constexpr char kVersion[] = KESTRAD_VERSION;
inline constexpr char kReleaseDate[] = KESTRAD_RELEASE_DATE;
inline constexpr char kLibraryFile[] = KESTRAD_LIBRARY;
// The maker's web site. The project has no home page of its own yet, so this
// stays on the reserved example domain.
inline constexpr char kWebsite[] = KESTRAD_WEBSITE;
// The line end of every text the program writes or shows.
inline constexpr char kLineEnd[] = "\r\n";
// The vendor's knowledge-base article on ATA/ATAPI CRC problems.
inline constexpr char kKnowledgeBaseAddress[] = KESTRAD_KB_ADDRESS;

}  // namespace kestrad
