// The palette as a person sees it: its PNG picture in a row and in a column, with
// and without libraries.
#include "PaletteFixture.hpp"

#include <cmath>
#include <cstdlib>

namespace tarvel::testing {
namespace {

using namespace std::chrono_literals;

constexpr std::uint32_t Background = 0xFFF0F0F0;
constexpr std::uint32_t DoorsColour = 0xFFD02020;
constexpr std::uint32_t WindowsColour = 0xFF20A040;

class PalettePictureTest : public PaletteFixture {
protected:
    // The worst difference between the icon laid over the background at the
    // opacity and the picture, with the icon's corner at (x, y) of the client area.
    static int IconDifference(const dg::Picture& picture, const dg::Picture& icon, int x, int y, double opacity)
    {
        return OverlayDifference(picture, picture.clientLeft + x, picture.clientTop + y, icon, Background, opacity);
    }
    static std::uint32_t ClientAt(const dg::Picture& picture, int x, int y)
    {
        return picture.At(picture.clientLeft + x, picture.clientTop + y);
    }
};

TEST_F(PalettePictureTest, RowAndColumnWithAndWithoutLibraries)
{
    struct Case {
        const char* name;
        bool libraries;
        bool column;
        short clientWidth;
        short clientHeight;
    };
    const Case cases[] = {
        {"row", false, false, 258, 37},
        {"row-libraries", true, false, 358, 37},
        {"column", false, true, 51, 188},
        {"column-libraries", true, true, 51, 260},
    };
    const short icons[] = {32502, 32503, 32504, 32508};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.libraries) {
            WriteLogo("doors.png", 40, 30, DoorsColour);
            WriteLogo("windows.png", 100, 20, WindowsColour);
            StoreLibraries({{"doors-classic", "Classic Doors", "doors.png", "http://x/"},
                            {"windows-alu", "Aluminium Windows", "windows.png", "http://x/"}});
        } else {
            StoreLibraries({});
        }
        OpenPalette();
        const std::string file = (Temp().Path() / (std::string(c.name) + ".png")).string();
        if (c.column)
            dg::User(ids::Toolbar::Dialog).Resize(60, 300);
        dg::User(ids::Toolbar::Dialog).Picture(file);
        Act();
        const dg::Picture shown = dg::RenderPanel(ids::Toolbar::Dialog);
        dg::Picture picture = dg::ReadPng(file);
        ASSERT_EQ(picture.width, shown.width);
        ASSERT_EQ(picture.height, shown.height);
        EXPECT_EQ(picture.pixels, shown.pixels);
        picture.clientLeft = shown.clientLeft;
        picture.clientTop = shown.clientTop;
        EXPECT_EQ(picture.width - shown.clientLeft * 2, c.clientWidth);

        // Where button i starts.
        auto at = [&](int i) {
            const int step = c.column ? 36 : 50;
            int along = 1 + i * step;
            if (i >= 4)
                along += c.column ? 5 : 5;  // the separator and its two gaps
            return c.column ? std::pair{1, along} : std::pair{along, 1};
        };
        // The tools' icons, 32 x 32, centred: "modify" is disabled, at half opacity.
        for (int i = 0; i < 4; ++i) {
            const dg::Picture icon = dg::PictureOf(DG::NativeImage(DG::Icon(1000, icons[i]), 1.0).GetNativeImage());
            const auto [x, y] = at(i);
            EXPECT_LE(IconDifference(picture, icon, x + 8, y + 1, i == 0 ? 0.5 : 1), 2) << "tool " << i;
        }
        // The separator's line between the tools and the rest.
        const int separator = c.column ? 147 : 203;
        const std::uint32_t line =
            c.column ? ClientAt(picture, 20, separator) : ClientAt(picture, separator, 15);
        EXPECT_EQ(line, 0xFF999999u);
        // The libraries' logos: 40 x 30 at its own size, 100 x 20 shrunk to 46 x 9.2.
        int next = 4;
        if (c.libraries) {
            const auto [dx, dy] = at(4);
            EXPECT_EQ(ClientAt(picture, dx + 4, dy + 2), DoorsColour);
            EXPECT_EQ(ClientAt(picture, dx + 43, dy + 31), DoorsColour);
            EXPECT_EQ(ClientAt(picture, dx + 3, dy + 2), Background);
            EXPECT_EQ(ClientAt(picture, dx + 24, dy + 1), Background);
            const auto [wx, wy] = at(5);
            EXPECT_EQ(ClientAt(picture, wx + 24, wy + 17), WindowsColour);
            EXPECT_EQ(ClientAt(picture, wx + 24, wy + 10), Background);
            EXPECT_EQ(ClientAt(picture, wx + 24, wy + 23), Background);
            next = 6;
        }
        const dg::Picture addIcon = dg::PictureOf(DG::NativeImage(DG::Icon(1000, 32506), 1.0).GetNativeImage());
        const auto [ax, ay] = at(next);
        EXPECT_LE(IconDifference(picture, addIcon, ax + 8, ay + 1, 1), 2);
        // Between two buttons lies the background.
        const auto [gx, gy] = at(1);
        EXPECT_EQ(c.column ? ClientAt(picture, gx + 24, gy - 1) : ClientAt(picture, gx - 1, gy + 17), Background);
        ClosePalette();
    }
}

}  // namespace
}  // namespace tarvel::testing
