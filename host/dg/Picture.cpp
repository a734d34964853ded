// Pictures of panels as a person would see them, drawn with Cairo: the frame and
// title bar, the client area, and each visible item drawn by its kind.
#include "DgInternal.hpp"

#include <cairo-ft.h>
#include <ft2build.h>
#include FT_FREETYPE_H

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace standin::dg {
namespace detail {
namespace {

constexpr double kBorder = 1;
constexpr double kModalTitle = 24;
constexpr double kPaletteTitle = 14;

// The font of every text in pictures, read once from the font package's file.
cairo_font_face_t* Font()
{
    struct Loaded {
        FT_Library library = nullptr;
        FT_Face face = nullptr;
        cairo_font_face_t* cairoFace = nullptr;
    };
    static const Loaded loaded = [] {
        Loaded font;
        if (FT_Init_FreeType(&font.library) != 0)
            return font;
        if (FT_New_Face(font.library, STANDIN_FONT_FILE, 0, &font.face) != 0)
            return font;
        font.cairoFace = cairo_ft_font_face_create_for_ft_face(font.face, 0);
        return font;
    }();
    return loaded.cairoFace;
}

void UseFont(cairo_t* cr, double size)
{
    if (cairo_font_face_t* face = Font())
        cairo_set_font_face(cr, face);
    else
        cairo_select_font_face(cr, "sans-serif", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
    cairo_set_font_size(cr, size);
}

std::vector<std::string> Lines(const std::u16string& text)
{
    std::vector<std::string> lines;
    std::u16string line;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == u'\r' || text[i] == u'\n') {
            if (text[i] == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n')
                ++i;
            lines.push_back(Utf8(line));
            line.clear();
        } else {
            line += text[i];
        }
    }
    lines.push_back(Utf8(line));
    return lines;
}

// Breaks each line that is wider than `width` at its last blank that fits; a word
// wider than the width stays whole.
std::vector<std::string> Wrap(cairo_t* cr, const std::vector<std::string>& lines, double width)
{
    auto fits = [&](const std::string& piece) {
        cairo_text_extents_t extents;
        cairo_text_extents(cr, piece.c_str(), &extents);
        return extents.x_advance <= width;
    };
    std::vector<std::string> wrapped;
    for (std::string rest : lines) {
        while (!fits(rest)) {
            std::size_t cut = std::string::npos;
            for (std::size_t blank = rest.find(' '); blank != std::string::npos; blank = rest.find(' ', blank + 1)) {
                if (!fits(rest.substr(0, blank)))
                    break;
                cut = blank;
            }
            if (cut == std::string::npos || cut == 0)
                break;
            wrapped.push_back(rest.substr(0, cut));
            rest.erase(0, cut + 1);
        }
        wrapped.push_back(rest);
    }
    return wrapped;
}

}  // namespace

namespace {

// Saves the context, clips to the box and sets the font and the text's colour; the
// caller restores the context.
cairo_font_extents_t BeginText(const Canvas& canvas, const DG::Rect& box, bool enabled, double size)
{
    cairo_t* cr = canvas.cr;
    cairo_save(cr);
    cairo_rectangle(cr, canvas.originX + box.left, canvas.originY + box.top, box.GetWidth(), box.GetHeight());
    cairo_clip(cr);
    UseFont(cr, size);
    cairo_font_extents_t font;
    cairo_font_extents(cr, &font);
    const double grey = enabled ? 0.08 : 0.6;
    cairo_set_source_rgb(cr, grey, grey, grey);
    return font;
}

}  // namespace

void Canvas::Text(const DG::Rect& box, const std::u16string& text, int align, bool middle, bool enabled,
                  double size, bool wrap) const
{
    const cairo_font_extents_t font = BeginText(*this, box, enabled, size);
    std::vector<std::string> lines = Lines(text);
    if (wrap)
        lines = Wrap(cr, lines, box.GetWidth() - 4);
    double y = originY + box.top + font.ascent;
    if (middle && lines.size() == 1)
        y = originY + box.top + (box.GetHeight() - font.height) / 2 + font.ascent;
    for (const std::string& line : lines) {
        cairo_text_extents_t extents;
        cairo_text_extents(cr, line.c_str(), &extents);
        double x = originX + box.left + 2;
        if (align == 1)
            x = originX + box.left + (box.GetWidth() - extents.x_advance) / 2;
        cairo_move_to(cr, x, y);
        cairo_show_text(cr, line.c_str());
        y += font.height;
    }
    cairo_restore(cr);
}

double Canvas::TextWidth(const std::u16string& text, double size) const
{
    cairo_save(cr);
    UseFont(cr, size);
    cairo_text_extents_t extents;
    cairo_text_extents(cr, Utf8(text).c_str(), &extents);
    cairo_restore(cr);
    return extents.x_advance;
}

void Canvas::TextLine(const DG::Rect& box, double x, const std::u16string& text, bool enabled, double size) const
{
    const cairo_font_extents_t font = BeginText(*this, box, enabled, size);
    cairo_move_to(cr, originX + x, originY + box.top + (box.GetHeight() - font.height) / 2 + font.ascent);
    cairo_show_text(cr, Utf8(text).c_str());
    cairo_restore(cr);
}

void Canvas::TextAt(double x, double baseline, const std::string& utf8, double size, std::uint32_t rgb) const
{
    cairo_save(cr);
    UseFont(cr, size);
    cairo_set_source_rgb(cr, ((rgb >> 16) & 0xFF) / 255.0, ((rgb >> 8) & 0xFF) / 255.0, (rgb & 0xFF) / 255.0);
    cairo_move_to(cr, originX + x, originY + baseline);
    cairo_show_text(cr, utf8.c_str());
    cairo_restore(cr);
}

double Canvas::Advance(const std::string& utf8, double size) const
{
    cairo_save(cr);
    UseFont(cr, size);
    cairo_text_extents_t extents;
    cairo_text_extents(cr, utf8.c_str(), &extents);
    cairo_restore(cr);
    return extents.x_advance;
}

std::pair<double, double> Canvas::FontMetrics(double size) const
{
    cairo_save(cr);
    UseFont(cr, size);
    cairo_font_extents_t font;
    cairo_font_extents(cr, &font);
    cairo_restore(cr);
    return {font.ascent, font.height};
}

void Canvas::Line(double x0, double y0, double x1, double y1, std::uint32_t rgb, double width) const
{
    cairo_save(cr);
    cairo_set_source_rgb(cr, ((rgb >> 16) & 0xFF) / 255.0, ((rgb >> 8) & 0xFF) / 255.0, (rgb & 0xFF) / 255.0);
    cairo_set_line_width(cr, width);
    cairo_move_to(cr, originX + x0, originY + y0);
    cairo_line_to(cr, originX + x1, originY + y1);
    cairo_stroke(cr);
    cairo_restore(cr);
}

void Canvas::BeginClip(const DG::Rect& box) const
{
    cairo_save(cr);
    cairo_rectangle(cr, originX + box.left, originY + box.top, box.GetWidth(), box.GetHeight());
    cairo_clip(cr);
}

void Canvas::EndClip() const { cairo_restore(cr); }

void Canvas::FillRect(const DG::Rect& box, double r, double g, double b) const
{
    cairo_rectangle(cr, originX + box.left, originY + box.top, box.GetWidth(), box.GetHeight());
    cairo_set_source_rgb(cr, r, g, b);
    cairo_fill(cr);
}

void Canvas::StrokeRect(const DG::Rect& box, double r, double g, double b, double width) const
{
    cairo_rectangle(cr, originX + box.left + width / 2, originY + box.top + width / 2, box.GetWidth() - width,
                    box.GetHeight() - width);
    cairo_set_source_rgb(cr, r, g, b);
    cairo_set_line_width(cr, width);
    cairo_stroke(cr);
}

void Canvas::Image(const Pixels& pixels, double x, double y, double opacity) const
{
    cairo_save(cr);
    cairo_set_source_surface(cr, pixels.surface, originX + x, originY + y);
    cairo_paint_with_alpha(cr, opacity);
    cairo_restore(cr);
}

cairo_surface_t* RenderPanelSurface(const std::shared_ptr<PanelState>& panel)
{
    if (!panel || panel->dead)
        return nullptr;
    const bool palette = panel->resource != nullptr && panel->resource->palette;
    const double title = palette ? kPaletteTitle : kModalTitle;
    const int width = panel->clientWidth + static_cast<int>(2 * kBorder);
    const int height = panel->clientHeight + static_cast<int>(title + 2 * kBorder);
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, height);
    if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS) {
        cairo_surface_destroy(surface);
        return nullptr;
    }
    cairo_t* cr = cairo_create(surface);
    // Frame, title bar, client area.
    cairo_set_source_rgb(cr, 0.45, 0.47, 0.5);
    cairo_paint(cr);
    cairo_rectangle(cr, kBorder, kBorder, panel->clientWidth, title);
    cairo_set_source_rgb(cr, 0.82, 0.86, 0.91);
    cairo_fill(cr);
    Canvas canvas{cr, kBorder, kBorder + title, panel.get()};
    canvas.FillRect(DG::Rect(0, 0, panel->clientWidth, panel->clientHeight), 0.94, 0.94, 0.94);
    const Canvas titleCanvas{cr, kBorder, kBorder, panel.get()};
    titleCanvas.Text(DG::Rect(4, 0, static_cast<short>(panel->clientWidth - 8), static_cast<short>(title)),
                     panel->title, palette ? 0 : 1, true, true, palette ? 10 : 12);
    // The items, in the order of their ids; a handler may change the list.
    const std::vector<std::shared_ptr<ItemState>> items = panel->items;
    for (const auto& item : items) {
        if (item->dead || !item->visible)
            continue;
        cairo_save(cr);
        cairo_rectangle(cr, canvas.originX, canvas.originY, panel->clientWidth, panel->clientHeight);
        cairo_clip(cr);
        item->kind->Draw(canvas, item);
        cairo_restore(cr);
        if (panel->dead)
            break;
    }
    cairo_destroy(cr);
    cairo_surface_flush(surface);
    return surface;
}

bool WriteSurfacePng(cairo_surface_t* surface, const std::string& path, std::string& error)
{
    std::string bytes;
    const auto append = [](void* closure, const unsigned char* data, unsigned int length) {
        static_cast<std::string*>(closure)->append(reinterpret_cast<const char*>(data), length);
        return CAIRO_STATUS_SUCCESS;
    };
    if (const cairo_status_t status = cairo_surface_write_to_png_stream(surface, append, &bytes);
        status != CAIRO_STATUS_SUCCESS) {
        error = cairo_status_to_string(status);
        return false;
    }
    // Into a file beside it first: a full disk leaves no cut picture under the name.
    const std::string part = path + ".part";
    std::FILE* file = std::fopen(part.c_str(), "wb");
    if (file == nullptr) {
        error = std::strerror(errno);
        return false;
    }
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    int reason = written ? 0 : errno;
    if (std::fclose(file) != 0 && reason == 0)
        reason = errno;
    if (!written || reason != 0 || std::rename(part.c_str(), path.c_str()) != 0) {
        error = std::strerror(reason != 0 ? reason : errno);
        std::remove(part.c_str());
        return false;
    }
    return true;
}

std::shared_ptr<PanelState> NewestPanel(short resourceId)
{
    const auto& panels = GetState().panels;
    for (auto it = panels.rbegin(); it != panels.rend(); ++it)
        if ((*it)->ResourceId() == resourceId && !(*it)->dead)
            return *it;
    return nullptr;
}

}  // namespace detail

using namespace detail;

Picture RenderPanel(short resourceId)
{
    if (!CheckCall("standin::dg::RenderPanel"))
        return {};
    const auto panel = NewestPanel(resourceId);
    if (!panel)
        return {};
    const bool palette = panel->resource->palette;
    cairo_surface_t* surface = RenderPanelSurface(panel);
    if (surface == nullptr)
        return {};
    Picture picture = PictureOfSurface(surface);
    cairo_surface_destroy(surface);
    picture.clientLeft = static_cast<int>(kBorder);
    picture.clientTop = static_cast<int>(kBorder + (palette ? kPaletteTitle : kModalTitle));
    return picture;
}

bool WritePng(short resourceId, const std::string& path, std::string* error)
{
    std::string reason = "no such panel is shown";
    bool written = false;
    if (!CheckCall("standin::dg::WritePng"))
        reason = "the call was refused";
    else if (cairo_surface_t* surface = RenderPanelSurface(NewestPanel(resourceId))) {
        written = WriteSurfacePng(surface, path, reason);
        cairo_surface_destroy(surface);
    }
    if (!written && error != nullptr)
        *error = reason;
    return written;
}

}  // namespace standin::dg
