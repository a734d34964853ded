// Draws the add-on's icons as PNG files: the palette's tool pictures, the name
// dialog's label and the product logo of the About dialog.
// Usage: icongen <folder>   (the repository keeps them in resources/icons)
#include <cairo-ft.h>
#include <cairo.h>
#include <ft2build.h>
#include FT_FREETYPE_H

#include <cmath>
#include <cstdio>
#include <functional>
#include <string>

namespace {

constexpr double kPi = 3.14159265358979323846;

cairo_font_face_t* Font()
{
    static cairo_font_face_t* face = [] {
        FT_Library library = nullptr;
        FT_Face ft = nullptr;
        if (FT_Init_FreeType(&library) != 0 || FT_New_Face(library, ICON_FONT_FILE, 0, &ft) != 0)
            return static_cast<cairo_font_face_t*>(nullptr);
        return cairo_ft_font_face_create_for_ft_face(ft, 0);
    }();
    return face;
}

void Blue(cairo_t* cr) { cairo_set_source_rgb(cr, 0.13, 0.36, 0.66); }

void Centred(cairo_t* cr, const char* text, double size, double cx, double cy)
{
    cairo_set_font_face(cr, Font());
    cairo_set_font_size(cr, size);
    cairo_text_extents_t e;
    cairo_text_extents(cr, text, &e);
    cairo_move_to(cr, cx - e.x_bearing - e.width / 2, cy - e.y_bearing - e.height / 2);
    cairo_show_text(cr, text);
}

void Disc(cairo_t* cr, const char* glyph)
{
    cairo_arc(cr, 16, 16, 13, 0, 2 * kPi);
    Blue(cr);
    cairo_fill(cr);
    cairo_set_source_rgb(cr, 1, 1, 1);
    Centred(cr, glyph, 19, 16, 16);
}

void Modify(cairo_t* cr)
{
    cairo_rectangle(cr, 4.5, 8.5, 18, 18);
    cairo_set_source_rgb(cr, 1, 1, 1);
    cairo_fill_preserve(cr);
    Blue(cr);
    cairo_set_line_width(cr, 2);
    cairo_stroke(cr);
    // A pencil across the box's corner.
    cairo_save(cr);
    cairo_translate(cr, 19, 13);
    cairo_rotate(cr, -kPi / 4);
    cairo_rectangle(cr, -3, -12, 6, 16);
    cairo_set_source_rgb(cr, 0.95, 0.65, 0.15);
    cairo_fill(cr);
    cairo_move_to(cr, -3, 4);
    cairo_line_to(cr, 3, 4);
    cairo_line_to(cr, 0, 10);
    cairo_close_path(cr);
    cairo_set_source_rgb(cr, 0.3, 0.3, 0.3);
    cairo_fill(cr);
    cairo_restore(cr);
}

void Settings(cairo_t* cr)
{
    Blue(cr);
    for (int i = 0; i < 8; ++i) {
        cairo_save(cr);
        cairo_translate(cr, 16, 16);
        cairo_rotate(cr, i * kPi / 4);
        cairo_rectangle(cr, -3, -14, 6, 6);
        cairo_fill(cr);
        cairo_restore(cr);
    }
    cairo_arc(cr, 16, 16, 10, 0, 2 * kPi);
    cairo_fill(cr);
    cairo_arc(cr, 16, 16, 4.5, 0, 2 * kPi);
    cairo_set_source_rgb(cr, 1, 1, 1);
    cairo_fill(cr);
}

void AddLibrary(cairo_t* cr)
{
    // A book with a plus.
    cairo_rectangle(cr, 5, 4, 18, 24);
    Blue(cr);
    cairo_fill(cr);
    cairo_rectangle(cr, 8, 7, 12, 3);
    cairo_set_source_rgb(cr, 1, 1, 1);
    cairo_fill(cr);
    cairo_arc(cr, 23, 23, 7.5, 0, 2 * kPi);
    cairo_set_source_rgb(cr, 0.2, 0.6, 0.25);
    cairo_fill(cr);
    cairo_set_source_rgb(cr, 1, 1, 1);
    cairo_rectangle(cr, 22, 18, 2, 10);
    cairo_rectangle(cr, 18, 22, 10, 2);
    cairo_fill(cr);
}

void NameLabel(cairo_t* cr)
{
    // A tag with a hole.
    cairo_move_to(cr, 4, 9);
    cairo_line_to(cr, 20, 9);
    cairo_line_to(cr, 29, 16);
    cairo_line_to(cr, 20, 23);
    cairo_line_to(cr, 4, 23);
    cairo_close_path(cr);
    Blue(cr);
    cairo_fill(cr);
    cairo_arc(cr, 21, 16, 2, 0, 2 * kPi);
    cairo_set_source_rgb(cr, 1, 1, 1);
    cairo_fill(cr);
    cairo_rectangle(cr, 7, 14, 9, 1.5);
    cairo_rectangle(cr, 7, 17, 7, 1.5);
    cairo_fill(cr);
}

void Logo(cairo_t* cr)
{
    // A rounded square with a "T", and the product's name beside it.
    const double r = 10;
    cairo_new_sub_path(cr);
    cairo_arc(cr, 4 + r, 4 + r, r, kPi, 1.5 * kPi);
    cairo_arc(cr, 60 - r, 4 + r, r, 1.5 * kPi, 2 * kPi);
    cairo_arc(cr, 60 - r, 60 - r, r, 0, 0.5 * kPi);
    cairo_arc(cr, 4 + r, 60 - r, r, 0.5 * kPi, kPi);
    cairo_close_path(cr);
    Blue(cr);
    cairo_fill(cr);
    cairo_set_source_rgb(cr, 1, 1, 1);
    Centred(cr, "T", 42, 32, 32);
    Blue(cr);
    cairo_set_font_face(cr, Font());
    cairo_set_font_size(cr, 38);
    cairo_move_to(cr, 70, 46);
    cairo_show_text(cr, "Tarvel");
}

bool Write(const std::string& folder, const char* name, int width, int height,
           const std::function<void(cairo_t*)>& draw)
{
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height);
    cairo_t* cr = cairo_create(surface);
    draw(cr);
    cairo_destroy(cr);
    const std::string path = folder + "/" + name;
    const bool written = cairo_surface_write_to_png(surface, path.c_str()) == CAIRO_STATUS_SUCCESS;
    cairo_surface_destroy(surface);
    if (!written)
        std::fprintf(stderr, "icongen: cannot write %s\n", path.c_str());
    return written;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2 || Font() == nullptr) {
        std::fprintf(stderr, "usage: icongen <folder>\n");
        return 2;
    }
    const std::string folder = argv[1];
    bool ok = true;
    ok &= Write(folder, "libpart_name.png", 32, 32, NameLabel);
    ok &= Write(folder, "menu_modify.png", 32, 32, Modify);
    ok &= Write(folder, "menu_settings.png", 32, 32, Settings);
    ok &= Write(folder, "menu_help2.png", 32, 32, [](cairo_t* cr) { Disc(cr, "?"); });
    ok &= Write(folder, "menu_addlib.png", 32, 32, AddLibrary);
    ok &= Write(folder, "menu_info.png", 32, 32, [](cairo_t* cr) { Disc(cr, "i"); });
    ok &= Write(folder, "tarvel_logo.png", 200, 64, Logo);
    return ok ? 0 : 1;
}
