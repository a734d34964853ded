#include "Pictures.hpp"

#include <cairo.h>
#include <turbojpeg.h>

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

}  // namespace tarvel::testing
