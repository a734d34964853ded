#include "Main/ToolbarPalette.hpp"

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
    return nullptr;
}

void SetToolbarPaletteFactory(ToolbarPaletteFactory factory) { Factory() = std::move(factory); }

void DestroyToolbarDialog() { toolbarDialog.reset(); }

}  // namespace tarvel
