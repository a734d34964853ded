// Giving the selected placed product a new library part and that part's default
// parameters, as one step the user can undo.
#pragma once

#include "HostRecords.hpp"

#include <cstdint>

namespace tarvel {

// The command run inside the undo step.
struct ModifyElementCommandLambda {
    HostInterface::ElementRecord* element;
    const HostInterface::ElementRecord* mask;
    HostInterface::ElementMemo* memo;

    std::int32_t operator()() const;
};

constexpr const char* ModifyElementUndoName = "Tarvel Modify Element";
constexpr std::uint64_t ReplacementMemoMask = 0x3FFFFFFFBFFFFFFFull;

// Called with a library index of at least 1.
void ReplaceSelectedElementLibPart(std::int32_t libraryIndex);

// The same for the element that was configured: only while it is still the one
// selected. False, changing nothing, when the selection no longer is that element
// (another one, several, none, or the element is gone).
bool ReplaceConfiguredElementLibPart(const GS::Guid& configured, std::int32_t libraryIndex);

}  // namespace tarvel
