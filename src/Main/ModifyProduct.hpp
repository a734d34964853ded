// "Modify product": the selected placed product goes back to its configurator, and
// the product the configurator hands back replaces it. User-interface thread only.
#pragma once

#include <string>

namespace tarvel {

// A stored base URL the configurator can be reached at: "http://" or "https://" first
// (in any letter case), and UTF-8 throughout.
bool IsConfiguratorBaseUrl(const std::string& baseUrl);

// Reads the selected product, opens the browser dialog on its configurator's handler
// page and posts its configuration there; when a new part was made, the element gets it
// in one undo step. False, after the "Wrong selection!" alert, when the selection is not
// one product of the accepted kinds with a usable base URL; true when the dialog ran.
bool ModifyProduct();

}  // namespace tarvel
