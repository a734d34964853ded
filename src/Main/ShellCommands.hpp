// The commands that the add-on's menus and the toolbar palette's tools both run, and
// the two checks they and other parts use. User-interface thread only.
#pragma once

#include "GSRoot.hpp"

namespace tarvel {

// Makes the add-on's library folder one of the host's active libraries. 0 when it is
// (or the host's list is unavailable); the general error when the folder is unusable;
// the memory error when the list cannot grow.
GSErrCode EnsureProductLibraryActive();

// Exactly one placed product of the catalogue is selected: one element of a window,
// door, object, lamp or skylight whose parameters hold "tv_base_url".
bool SelectionHoldsProduct();

// Runs the modal Settings dialog on a controller of its own; what OK changes is
// written by then. Always true.
bool ShowSettingsDialog();

// Runs the modal About dialog. Always true.
bool ShowAboutDialog();

// Opens the help pages: Settings.xml's help_url when it is longer than one byte and
// the system opens it, otherwise the support site. Always true.
bool OpenHelp();

}  // namespace tarvel
