// Shared by the Windows stand-ins only.
#pragma once

#include "Win32.hpp"

#include <string>

namespace standin::win {

// A GlobalAlloc block holding the UTF-16 text and a terminator.
HGLOBAL AllocateText(const std::u16string& units);
// Locks on live blocks plus those left on blocks freed while locked.
int OutstandingLocks();

}  // namespace standin::win
