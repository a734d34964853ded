#include "Pictures.hpp"

#include <cairo.h>
#include <turbojpeg.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <stdexcept>
#include <vector>

namespace tarvel::testing {
namespace {

cairo_surface_t* Filled(int width, int height, std::uint32_t argb)
{
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height);
    cairo_t* cr = cairo_create(surface);
    cairo_set_source_rgba(cr, ((argb >> 16) & 0xFF) / 255.0, ((argb >> 8) & 0xFF) / 255.0, (argb & 0xFF) / 255.0,
                          (argb >> 24) / 255.0);
    cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
    cairo_paint(cr);
    cairo_destroy(cr);
    return surface;
}

cairo_status_t Append(void* closure, const unsigned char* data, unsigned int length)
{
    static_cast<std::string*>(closure)->append(reinterpret_cast<const char*>(data), length);
    return CAIRO_STATUS_SUCCESS;
}

}  // namespace

std::string PngBytes(int width, int height, std::uint32_t argb)
{
    cairo_surface_t* surface = Filled(width, height, argb);
    std::string bytes;
    cairo_surface_write_to_png_stream(surface, &Append, &bytes);
    cairo_surface_destroy(surface);
    return bytes;
}

void WritePngFile(const std::string& path, int width, int height, std::uint32_t argb)
{
    std::ofstream out(path, std::ios::binary);
    out << PngBytes(width, height, argb);
    if (!out)
        throw std::runtime_error("cannot write " + path);
}

std::string JpegBytes(int width, int height, std::uint32_t rgb)
{
    std::vector<unsigned char> pixels(static_cast<std::size_t>(width) * height * 3);
    for (std::size_t i = 0; i < pixels.size(); i += 3) {
        pixels[i] = static_cast<unsigned char>(rgb >> 16);
        pixels[i + 1] = static_cast<unsigned char>(rgb >> 8);
        pixels[i + 2] = static_cast<unsigned char>(rgb);
    }
    tjhandle handle = tjInitCompress();
    unsigned char* jpeg = nullptr;
    unsigned long size = 0;
    const int result = tjCompress2(handle, pixels.data(), width, 0, height, TJPF_RGB, &jpeg, &size, TJSAMP_444, 95, 0);
    std::string bytes = result == 0 ? std::string(reinterpret_cast<const char*>(jpeg), size) : std::string();
    tjFree(jpeg);
    tjDestroy(handle);
    if (bytes.empty())
        throw std::runtime_error("cannot make a JPEG");
    return bytes;
}

int OverlayDifference(const standin::dg::Picture& picture, int x, int y, const standin::dg::Picture& image,
                      std::uint32_t background, double opacity)
{
    int worst = 0;
    for (int j = 0; j < image.height; ++j)
        for (int i = 0; i < image.width; ++i) {
            const std::uint32_t source = image.At(i, j);
            const std::uint32_t shown = picture.At(x + i, y + j);
            const double alpha = (source >> 24) / 255.0 * opacity;
            for (int shift : {0, 8, 16}) {
                const double expected = alpha * ((source >> shift) & 0xFF) + (1 - alpha) * ((background >> shift) & 0xFF);
                worst = std::max(worst, std::abs(static_cast<int>(std::lround(expected)) -
                                                 static_cast<int>((shown >> shift) & 0xFF)));
            }
        }
    return worst;
}

int DarkPixels(const standin::dg::Picture& picture, int x, int y, int width, int height)
{
    int dark = 0;
    for (int j = y; j < y + height; ++j)
        for (int i = x; i < x + width; ++i)
            dark += (picture.At(i, j) & 0xFF) < 0x80 ? 1 : 0;
    return dark;
}

}  // namespace tarvel::testing
