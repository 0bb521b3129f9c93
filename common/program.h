// The program's own constants, shared by the console texts and the window.
#pragma once

namespace kestrad {

inline constexpr char kProgramName[] = "KESTRAD";
inline constexpr char kVersion[] = "1.05";
inline constexpr char kReleaseDate[] = "31st August 2009";
inline constexpr char kLibraryFile[] = "tamarak9.dll";
// The maker's web site. The project has no home page of its own yet, so this
// stays on the reserved example domain.
inline constexpr char kWebsite[] = "http://www.example.com/kestrad/";

}  // namespace kestrad
