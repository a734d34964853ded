// One product library of the repository: a catalogue page with its products.
#pragma once

#include <memory>
#include <string>

namespace tarvel {

class Library {
public:
    // The catalogue's identifier; libraries are found by it (exact comparison).
    std::wstring id;
    // Display name and description in the add-on's culture.
    std::wstring name;
    // File name of the logo picture in the Images folder; "" when there is none.
    std::wstring logo;
    // Base address of the catalogue page.
    std::wstring url;
    std::wstring description;
    // Stored and reloaded with the library; nothing else reads it.
    bool is_in_menu = false;
    // Shown on the palette and stored in Settings.xml.
    bool active = false;
};

// A new library with empty texts and both flags false.
std::shared_ptr<Library> MakeLibrary();

}  // namespace tarvel
