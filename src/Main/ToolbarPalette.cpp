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

}  // namespace

std::unique_ptr<IToolbarPalette> CreateToolbarPalette(const GS::Guid& guid)
{
    if (Factory())
        return Factory()(guid);
    return std::make_unique<dialogs::ToolbarDialog>(guid);
}

void SetToolbarPaletteFactory(ToolbarPaletteFactory factory) { Factory() = std::move(factory); }

void DestroyToolbarDialog() { toolbarDialog.reset(); }

}  // namespace tarvel
