#include "Main/ToolbarPalette.hpp"

#include "dialogs/ToolbarDialog.hpp"

namespace tarvel {

std::unique_ptr<IToolbarPalette> toolbarDialog;

namespace {

ToolbarPaletteFactory& Factory()
{
    static ToolbarPaletteFactory factory;
    return factory;
}

// The user-interface thread's: no lock.
int paletteDepth = 0;
bool destroyPending = false;

}  // namespace

std::unique_ptr<IToolbarPalette> CreateToolbarPalette(const GS::Guid& guid)
{
    if (Factory())
        return Factory()(guid);
    return std::make_unique<dialogs::ToolbarDialog>(guid);
}

void SetToolbarPaletteFactory(ToolbarPaletteFactory factory) { Factory() = std::move(factory); }

void DestroyToolbarDialog()
{
    if (paletteDepth > 0) {
        destroyPending = true;
        return;
    }
    destroyPending = false;
    toolbarDialog.reset();
}

PaletteInUse::PaletteInUse(bool idle) : idle_(idle) { ++paletteDepth; }

PaletteInUse::~PaletteInUse()
{
    if (--paletteDepth == 0 && destroyPending && idle_) {
        destroyPending = false;
        // Moved out first: the palette's destructor finds the global empty.
        std::unique_ptr<IToolbarPalette> palette = std::move(toolbarDialog);
        palette.reset();
    }
}

}  // namespace tarvel
