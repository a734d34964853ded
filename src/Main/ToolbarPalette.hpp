// The toolbar palette as the shell drives it: the operations the menu commands, the
// palette messages, the notifications and the clean-up need. The palette dialog
// implements them; the shell owns the one palette in `toolbarDialog`.
#pragma once

#include "GSRoot.hpp"

#include <functional>
#include <memory>

namespace tarvel {

class IToolbarPalette {
public:
    virtual ~IToolbarPalette() = default;

    // The palette window: a close request (the palette hides and stops its clipboard
    // watcher), hide, show with -32768 (without activating), its visibility.
    virtual void SendCloseRequest() = 0;
    virtual void HideWindow() = 0;
    virtual void ShowWindow() = 0;
    virtual bool IsWindowVisible() const = 0;
    // All of the palette's items.
    virtual void EnableItems() = 0;
    virtual void DisableItems() = 0;
    // Activates the window, shows it with -32768 and brings it to the front.
    virtual bool Show() = 0;
    // The clipboard watcher on the palette's window: one watcher whatever the number
    // of starts; a stop takes effect at its next look.
    virtual void StartClipboardWatcher() = 0;
    virtual void StopClipboardWatcher() = 0;
    // The "modify" tool on or off.
    virtual void EnableModifyTool(bool enable) = 0;
};

// The palette: null until the first show command or open message creates it; never
// replaced while the add-on runs; destroyed by the clean-up.
extern std::unique_ptr<IToolbarPalette> toolbarDialog;

// Makes the palette window with the GUID: the palette dialog, unless another maker was set.
using ToolbarPaletteFactory = std::function<std::unique_ptr<IToolbarPalette>(const GS::Guid& guid)>;
std::unique_ptr<IToolbarPalette> CreateToolbarPalette(const GS::Guid& guid);
// Replaces the maker (tests); an empty one restores the palette dialog's.
void SetToolbarPaletteFactory(ToolbarPaletteFactory factory);

// Destroys the palette (the clean-up's last step; tests whose add-on was never cleaned
// up). While code of the palette runs (a handler of it, and a dialog run from there),
// the palette stays: it goes at the end of its next idle event, the one handler after
// which the platform touches nothing of the palette or its items.
void DestroyToolbarDialog();

// Held by each handler of the palette while it runs.
class PaletteInUse {
public:
    // idle: the palette's idle handler, at whose end the palette may go.
    explicit PaletteInUse(bool idle = false);
    // The outermost idle one destroys the palette when that was asked for; nothing of
    // the palette may be used after it.
    ~PaletteInUse();
    PaletteInUse(const PaletteInUse&) = delete;
    PaletteInUse& operator=(const PaletteInUse&) = delete;

private:
    bool idle_;
};

}  // namespace tarvel
