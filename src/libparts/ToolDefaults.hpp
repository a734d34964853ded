// Activating the host tool that places a kind of library part, and writing a new
// part into that tool's defaults.
#pragma once

#include <cstdint>

#include "GSRoot.hpp"

namespace tarvel {

GSErrCode CallEnvironmentSTBX(std::int32_t elementType);
GSErrCode SelectWindowTool();
GSErrCode SelectDoorTool();
GSErrCode SelectObjectTool();
GSErrCode SelectSkylightTool();

// Writes the library part and its default sizes into the tool defaults of the element type.
void SetToolDefaultLibPart(std::int32_t elementType, std::int32_t libraryIndex);

}  // namespace tarvel
