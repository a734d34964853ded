// Native images (decoded with Cairo's PNG reader and libjpeg-turbo, or blank), the
// contexts that draw them, the graphics library's image and the dialog icons.
#include "DgInternal.hpp"

#include <turbojpeg.h>

#include <cmath>
#include <cstring>
#include <sstream>

namespace standin::dg {
namespace detail {
namespace {

// Pictures larger than this are not decoded: nothing the add-on shows is near it.
constexpr long long kMostPixels = 64LL * 1024 * 1024;
constexpr int kLongestSide = 16384;

struct PngReader {
    const unsigned char* data;
    std::size_t size;
    std::size_t offset = 0;
};

cairo_status_t ReadPngBytes(void* closure, unsigned char* out, unsigned int length)
{
    auto* reader = static_cast<PngReader*>(closure);
    if (length > reader->size - reader->offset)
        return CAIRO_STATUS_READ_ERROR;
    std::memcpy(out, reader->data + reader->offset, length);
    reader->offset += length;
    return CAIRO_STATUS_SUCCESS;
}

std::string ImageName(const NewDisplay::NativeImage& image)
{
    return "image " + std::to_string(image.GetWidth()) + "x" + std::to_string(image.GetHeight());
}

}  // namespace

Pixels::~Pixels() { cairo_surface_destroy(surface); }

DrawTarget::~DrawTarget()
{
    if (cr != nullptr) {
        cairo_surface_flush(cairo_get_target(cr));
        if (ownsContext)
            cairo_destroy(cr);
    }
}

std::shared_ptr<Pixels> MakePixels(int width, int height)
{
    if (width <= 0 || height <= 0 || width > kLongestSide || height > kLongestSide ||
        static_cast<long long>(width) * height > kMostPixels)
        return nullptr;
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height);
    if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS) {
        cairo_surface_destroy(surface);
        return nullptr;
    }
    return std::make_shared<Pixels>(surface);
}

std::shared_ptr<Pixels> DecodePng(const void* data, std::size_t size)
{
    static const unsigned char signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    if (data == nullptr || size < sizeof signature || std::memcmp(data, signature, sizeof signature) != 0)
        return nullptr;
    PngReader reader{static_cast<const unsigned char*>(data), size};
    cairo_surface_t* decoded = cairo_image_surface_create_from_png_stream(&ReadPngBytes, &reader);
    if (cairo_surface_status(decoded) != CAIRO_STATUS_SUCCESS) {
        cairo_surface_destroy(decoded);
        return nullptr;
    }
    const int width = cairo_image_surface_get_width(decoded);
    const int height = cairo_image_surface_get_height(decoded);
    // Every image in one format: 32 bits with alpha.
    auto pixels = MakePixels(width, height);
    if (pixels) {
        cairo_t* cr = cairo_create(pixels->surface);
        cairo_set_source_surface(cr, decoded, 0, 0);
        cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
        cairo_paint(cr);
        cairo_destroy(cr);
        cairo_surface_flush(pixels->surface);
    }
    cairo_surface_destroy(decoded);
    return pixels;
}

std::shared_ptr<Pixels> DecodeJpeg(const void* data, std::size_t size)
{
    if (data == nullptr || size < 4 || size > 0x7FFFFFFF)
        return nullptr;
    const auto* bytes = static_cast<const unsigned char*>(data);
    if (bytes[0] != 0xFF || bytes[1] != 0xD8)
        return nullptr;
    tjhandle handle = tjInitDecompress();
    if (handle == nullptr)
        return nullptr;
    std::shared_ptr<Pixels> pixels;
    int width = 0;
    int height = 0;
    int subsampling = 0;
    int colourspace = 0;
    if (tjDecompressHeader3(handle, bytes, static_cast<unsigned long>(size), &width, &height, &subsampling,
                            &colourspace) == 0) {
        pixels = MakePixels(width, height);
        if (pixels) {
            cairo_surface_flush(pixels->surface);
            unsigned char* target = cairo_image_surface_get_data(pixels->surface);
            const int stride = cairo_image_surface_get_stride(pixels->surface);
            // Cairo's 32-bit pixels lie in memory as B, G, R, A on this machine.
            const int result = tjDecompress2(handle, bytes, static_cast<unsigned long>(size), target, width, stride,
                                             height, TJPF_BGRA, 0);
            if (result != 0 && tjGetErrorCode(handle) == TJERR_FATAL)
                pixels.reset();
            else
                cairo_surface_mark_dirty(pixels->surface);
        }
    }
    tjDestroy(handle);
    return pixels;
}

namespace {

std::uint32_t Unpremultiply(std::uint32_t argb)
{
    const std::uint32_t a = argb >> 24;
    if (a == 0)
        return 0;
    if (a == 255)
        return argb;
    auto channel = [a](std::uint32_t c) { return std::min<std::uint32_t>(255, (c * 255 + a / 2) / a); };
    return (a << 24) | (channel((argb >> 16) & 0xFF) << 16) | (channel((argb >> 8) & 0xFF) << 8) |
           channel(argb & 0xFF);
}

}  // namespace

Picture PictureOfSurface(cairo_surface_t* surface)
{
    Picture picture;
    if (surface == nullptr || cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS)
        return picture;
    cairo_surface_flush(surface);
    picture.width = cairo_image_surface_get_width(surface);
    picture.height = cairo_image_surface_get_height(surface);
    const int stride = cairo_image_surface_get_stride(surface);
    const unsigned char* data = cairo_image_surface_get_data(surface);
    const bool alpha = cairo_image_surface_get_format(surface) == CAIRO_FORMAT_ARGB32;
    picture.pixels.reserve(static_cast<std::size_t>(picture.width) * picture.height);
    for (int y = 0; y < picture.height; ++y) {
        const auto* row = reinterpret_cast<const std::uint32_t*>(data + static_cast<std::ptrdiff_t>(y) * stride);
        for (int x = 0; x < picture.width; ++x)
            picture.pixels.push_back(alpha ? Unpremultiply(row[x]) : (row[x] | 0xFF000000u));
    }
    return picture;
}

}  // namespace detail

using namespace detail;

Picture PictureOf(const NewDisplay::NativeImage& image)
{
    return image.GetPixels() ? PictureOfSurface(image.GetPixels()->surface) : Picture{};
}

Picture ReadPng(const std::string& path)
{
    cairo_surface_t* surface = cairo_image_surface_create_from_png(path.c_str());
    Picture picture = PictureOfSurface(surface);
    cairo_surface_destroy(surface);
    return picture;
}

}  // namespace standin::dg

namespace NewDisplay {

using namespace standin::dg::detail;

NativeImage::NativeImage() = default;
NativeImage::~NativeImage() = default;
NativeImage::NativeImage(const NativeImage&) = default;
NativeImage& NativeImage::operator=(const NativeImage&) = default;

NativeImage::NativeImage(std::shared_ptr<Pixels> pixels, double resolutionFactor)
    : pixels_(std::move(pixels)), resolutionFactor_(resolutionFactor)
{
}

NativeImage::NativeImage(const void* data, std::size_t size, std::uint8_t encoding)
{
    if (encoding == EncodingPng)
        pixels_ = DecodePng(data, size);
    else if (encoding == EncodingJpeg)
        pixels_ = DecodeJpeg(data, size);
}

NativeImage::NativeImage(std::uint32_t width, std::uint32_t height, const NativeImage& model,
                         double resolutionFactor)
    : resolutionFactor_(resolutionFactor)
{
    if (!(resolutionFactor > 0) || !std::isfinite(resolutionFactor)) {
        Refuse("NewDisplay::NativeImage: resolution factor " + std::to_string(resolutionFactor) +
               " is not a positive number");
        resolutionFactor_ = 1.0;
    }
    if (width <= (1u << 20) && height <= (1u << 20))
        pixels_ = MakePixels(static_cast<int>(width), static_cast<int>(height));
}

std::uint32_t NativeImage::GetWidth() const { return pixels_ ? static_cast<std::uint32_t>(pixels_->Width()) : 0; }

std::uint32_t NativeImage::GetHeight() const { return pixels_ ? static_cast<std::uint32_t>(pixels_->Height()) : 0; }

bool NativeImage::IsEmpty() const { return !pixels_; }

std::unique_ptr<NativeContext> NativeImage::GetContext()
{
    cairo_t* cr = pixels_ ? cairo_create(pixels_->surface) : nullptr;
    auto target = std::make_shared<DrawTarget>(cr, GetWidth(), GetHeight(), ImageName(*this), true);
    target->keep = pixels_;
    return std::unique_ptr<NativeContext>(new NativeContext(std::move(target)));
}

NativeContext::NativeContext(std::shared_ptr<DrawTarget> target) : target_(std::move(target)) {}

NativeContext::~NativeContext() = default;

void NativeContext::DrawImage(const NativeImage& image, double scaleX, double scaleY, double rotation, double x,
                              double y, bool useAlpha, double opacity, int filtering, BlitEffect effect)
{
    const char* call = "NewDisplay::NativeContext::DrawImage";
    std::ostringstream fault;
    if (!std::isfinite(scaleX) || !std::isfinite(scaleY) || scaleX == 0 || scaleY == 0)
        fault << "scale " << scaleX << " x " << scaleY << " is not a usable scale";
    else if (!std::isfinite(rotation) || !std::isfinite(x) || !std::isfinite(y))
        fault << "rotation and position must be numbers";
    else if (!(opacity >= 0 && opacity <= 1))
        fault << "opacity " << opacity << " lies outside 0 to 1";
    else if (filtering < FilteringNearest || filtering > FilteringBest)
        fault << "filtering " << filtering << " is not one of 0, 1, 2";
    else if (effect != BlitEffect::None)
        fault << "unknown blit effect";
    if (!fault.str().empty()) {
        Refuse(std::string(call) + ": " + fault.str());
        return;
    }
    LogDraw(standin::dg::DrawRecord{target_->name, image.GetWidth(), image.GetHeight(), scaleX, scaleY, rotation, x,
                                    y, useAlpha, opacity, filtering});
    if (target_->cr == nullptr || image.IsEmpty())
        return;
    cairo_t* cr = target_->cr;
    cairo_save(cr);
    cairo_translate(cr, x, y);
    cairo_rotate(cr, rotation);
    cairo_scale(cr, scaleX, scaleY);
    cairo_set_source_surface(cr, image.GetPixels()->surface, 0, 0);
    cairo_pattern_set_filter(cairo_get_source(cr), filtering == FilteringNearest ? CAIRO_FILTER_NEAREST
                                                   : filtering == FilteringSmooth ? CAIRO_FILTER_GOOD
                                                                                  : CAIRO_FILTER_BEST);
    cairo_paint_with_alpha(cr, opacity);
    cairo_restore(cr);
}

void NativeContext::SetFont(const char* family, double size)
{
    target_->fontFamily = family != nullptr ? family : "";
    target_->fontSize = size;
}

void NativeContext::SetForeColor(const Color& color) { target_->foreColor = color; }

double NativeContext::GetWidth() const { return target_->width; }

double NativeContext::GetHeight() const { return target_->height; }

UserItemUpdateNativeContext::UserItemUpdateNativeContext(const DG::UserItemUpdateEvent& event)
    : NativeContext(event.GetTarget() ? event.GetTarget()
                                      : std::make_shared<DrawTarget>(nullptr, 0, 0, "nothing", false))
{
    if (!event.GetTarget())
        Refuse("NewDisplay::UserItemUpdateNativeContext: the event is no update the dialog manager raised");
}

}  // namespace NewDisplay

namespace GX {

Image::Image(const NewDisplay::NativeImage& image) : image_(image) {}

IconHandle Image::GetIconHandle() const { return IconHandle{image_.GetPixels()}; }

}  // namespace GX

namespace DG {

using namespace standin::dg::detail;

bool Image::IsEmpty() const { return !pixels_; }

Icon::Icon(GSResModule module, short resourceId)
{
    module_ = module;
    id_ = resourceId;
    if (CheckCall("DG::Icon"))
        pixels_ = FindIcon(module, resourceId, "DG::Icon");
}

Icon::Icon(const GX::IconHandle& handle) { pixels_ = handle.pixels; }

NativeImage::NativeImage(const Icon& icon, double resolutionFactor)
    : image_(icon.GetPixels(), resolutionFactor > 0 ? resolutionFactor : 1.0)
{
}

}  // namespace DG
