// Nothing the add-on throws may reach the host: every entry point and host callback
// runs its work inside this guard.
#pragma once

#include <functional>

namespace tarvel {

// Runs the work; an exception that leaves it is written to standard error
// ("LOAD FAILED! " and its text, "LOAD FAILED!! " and boost's diagnostic information
// of a boost exception, "LOAD FAILED!!! " for anything else). False when one did.
bool RunGuarded(const std::function<void()>& work);

}  // namespace tarvel
