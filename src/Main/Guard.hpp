// Nothing the add-on throws may reach the host: every entry point and host callback
// runs its work inside this guard.
#pragma once

#include <functional>

namespace tarvel {

// Runs the work; an exception that leaves it is written to standard error
// ("LOAD FAILED! " and its text, "LOAD FAILED!! " and boost's diagnostic information
// of a boost exception, "LOAD FAILED!!! " for anything else). False when one did.
bool RunGuarded(const std::function<void()>& work);

// A dialog handler that runs the work inside the guard: the dialog manager never sees
// an exception, and the dialog stays as the work left it.
inline std::function<void()> Guarded(std::function<void()> work)
{
    return [work = std::move(work)] { RunGuarded(work); };
}

}  // namespace tarvel
