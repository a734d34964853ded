// The four callbacks through which the host drives the add-on after its
// initialisation. Each runs on the host's user-interface thread, lets no exception
// out, and answers 0 unless said otherwise.
#pragma once

#include "GSRoot.hpp"
#include "HostInterface.hpp"

#include <cstdint>

namespace tarvel {

constexpr const char* kLibraryNotLoaded = "Failed to load Tarvel Library!";

// A chosen menu of the add-on. Answers the code of EnsureProductLibraryActive when the
// add-on's library folder cannot be made active (the command then does not run).
GSErrCode HandleMenuCommand(const HostInterface::MenuCommandRecord* command);
// A message for a palette window; only the toolbar palette's reference id is heard.
GSErrCode HandlePaletteMessage(std::int32_t referenceId, std::int32_t message, void* param);
// A project event: new, open, close and quit close the palette.
GSErrCode HandleProjectEvent(std::int32_t event);
// After every selection change: the palette's "modify" tool follows SelectionHoldsProduct.
GSErrCode HandleSelectionChange(const HostInterface::SelectionChangeRecord* change);

// Shows the palette, creating it when there is none: reloads the active libraries,
// starts the clipboard watcher and brings it to the front. False when there is no palette.
bool ShowToolbarPalette();

}  // namespace tarvel
