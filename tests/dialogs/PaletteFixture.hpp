// The toolbar palette inside the stand-in host, with the data folders, the standard
// catalogue on a loopback server, and helpers for its libraries and items.
#pragma once

#include "ControllerFixture.hpp"
#include "DialogIds.hpp"
#include "DialogNames.hpp"
#include "Main/Globals.hpp"
#include "Pictures.hpp"
#include "controllers/ToolbarController.hpp"
#include "dialogs/ToolbarDialog.hpp"
#include "standin/Dialogs.hpp"

#include <algorithm>
#include <chrono>
#include <memory>
#include <string>
#include <vector>

namespace tarvel::testing {

namespace dg = standin::dg;

struct StoredLibrary {
    std::string id;
    std::string name;
    std::string logo;  // file name in Images; "" for none
    std::string url;
};

class PaletteFixture : public ControllerFixture {
protected:
    void TearDown() override
    {
        palette_.reset();
        EXPECT_TRUE(toolbarController.StopAndJoin(std::chrono::seconds(10)));
        standin::win::ClearClipboard();
        ControllerFixture::TearDown();
    }

    // Settings.xml with these active libraries.
    void StoreLibraries(const std::vector<StoredLibrary>& libraries)
    {
        std::string text = "<?xml version=\"1.0\"?>\n<Settings>\n\t<ActiveLibraries>\n";
        for (const StoredLibrary& library : libraries)
            text += "\t\t<Library id=\"" + library.id + "\" name=\"" + library.name + "\" logo=\"" + library.logo +
                    "\" url=\"" + library.url + "\" description=\"\" is_in_menu=\"false\" />\n";
        text += "\t</ActiveLibraries>\n</Settings>\n";
        WriteSettings(text);
    }
    void WriteLogo(const std::string& name, int width, int height, std::uint32_t argb)
    {
        WritePngFile((ImagesFolder() / name).string(), width, height, argb);
    }

    // Makes the palette and shows it, as the shell does.
    dialogs::ToolbarDialog& OpenPalette()
    {
        palette_ = std::make_unique<dialogs::ToolbarDialog>(toolbarPaletteGuid);
        palette_->Show();
        return *palette_;
    }
    dialogs::ToolbarDialog& Palette() { return *palette_; }
    void ClosePalette() { palette_.reset(); }

    // Runs the palette's scripted actions.
    void Act()
    {
        ASSERT_TRUE(dg::RunUntil("the user's actions on the palette",
                                 [] { return dg::PendingActions(ids::Toolbar::Dialog) == 0; }));
        dg::PumpEvents(std::chrono::milliseconds(30));
    }

    static std::vector<dg::ItemInfo> Items() { return dg::FindPanel(ids::Toolbar::Dialog)->items; }
    // The items other than the separator: the buttons, in their order on the palette.
    static std::vector<dg::ItemInfo> Buttons()
    {
        std::vector<dg::ItemInfo> buttons;
        for (const dg::ItemInfo& item : Items())
            if (item.kind == "useritem")
                buttons.push_back(item);
        std::stable_sort(buttons.begin(), buttons.end(), [](const dg::ItemInfo& a, const dg::ItemInfo& b) {
            return a.rect.left + a.rect.top < b.rect.left + b.rect.top;
        });
        return buttons;
    }
    static DG::Rect Rect(short x, short y, short w, short h)
    {
        return DG::Rect(x, y, static_cast<short>(x + w), static_cast<short>(y + h));
    }

private:
    std::unique_ptr<dialogs::ToolbarDialog> palette_;
};

}  // namespace tarvel::testing
