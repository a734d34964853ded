#include "Main/ToolbarPalette.hpp"

#include "dialogs/ToolbarDialog.hpp"

namespace tarvel {

std::unique_ptr<IToolbarPalette> toolbarDialog;

namespace {

// The palette dialog as the shell drives it.
class PaletteDialog final : public IToolbarPalette {
public:
    explicit PaletteDialog(const GS::Guid& guid) : dialog_(guid) {}

    void SendCloseRequest() override { dialog_.SendCloseRequest(); }
    void HideWindow() override { dialog_.HideWindow(); }
    void ShowWindow() override { dialog_.ShowWindow(); }
    bool IsWindowVisible() const override { return dialog_.IsWindowVisible(); }
    void EnableItems() override { dialog_.EnableItems(); }
    void DisableItems() override { dialog_.DisableItems(); }
    bool Show() override { return dialog_.Show(); }
    void StartClipboardWatcher() override { dialog_.StartClipboardWatcher(); }
    void StopClipboardWatcher() override { dialog_.StopClipboardWatcher(); }
    void EnableModifyTool(bool enable) override { dialog_.EnableModifyTool(enable); }

private:
    dialogs::ToolbarDialog dialog_;
};

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
    return std::make_unique<PaletteDialog>(guid);
}

void SetToolbarPaletteFactory(ToolbarPaletteFactory factory) { Factory() = std::move(factory); }

void DestroyToolbarDialog() { toolbarDialog.reset(); }

}  // namespace tarvel
