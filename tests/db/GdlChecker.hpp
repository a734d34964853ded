// A checker of generated 3D text that catches whole classes of faults: every
// transformation a solid pushes is removed before the solid ends, GROUP and
// ENDGROUP pair up, every group name is defined before it is used, profile points
// are consumed by the statement that follows them.
#pragma once

#include <string>
#include <vector>

namespace tarvel::testing {

// The problems found, each with its line number; empty when the text is sound.
std::vector<std::string> CheckGdlScript(const std::string& script);

}  // namespace tarvel::testing
