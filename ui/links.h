// The web addresses the window's link buttons open.
#pragma once

#include "common/program.h"

namespace kestrad {

// The vendor's knowledge-base article on ATA/ATAPI CRC problems.
inline constexpr char kKnowledgeBaseAddress[] = "http://support.microsoft.com/?kbid=817472";
// The maker's web site: the same address the usage screen prints.
inline constexpr const char* kMakerSiteAddress = kWebsite;

}  // namespace kestrad
