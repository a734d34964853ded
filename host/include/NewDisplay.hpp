// Stand-in for the host's native display library: images decoded from encoded
// bytes or made blank, and the drawing contexts that draw images into an image or
// into a user item while it is being updated.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

namespace DG { class UserItemUpdateEvent; }

namespace standin::dg::detail {
struct Pixels;
struct DrawTarget;
}  // namespace standin::dg::detail

namespace NewDisplay {

class NativeContext;

// An image in the native pixel format (32-bit with alpha). Copies share the pixels.
class NativeImage {
public:
    // Encoding codes of encoded bytes.
    static constexpr std::uint8_t EncodingJpeg = 0;
    static constexpr std::uint8_t EncodingPng = 1;

    // The empty image, 0 x 0.
    NativeImage();
    // Decodes PNG or JPEG bytes as the encoding code says. Bytes that do not decode
    // with that code (none at all, another format, damaged) give the empty image.
    NativeImage(const void* data, std::size_t size, std::uint8_t encoding);
    // A transparent image of the given size in the pixel format of the model.
    // A zero size gives the empty image.
    NativeImage(std::uint32_t width, std::uint32_t height, const NativeImage& model, double resolutionFactor);
    ~NativeImage();
    NativeImage(const NativeImage&);
    NativeImage& operator=(const NativeImage&);

    std::uint32_t GetWidth() const;
    std::uint32_t GetHeight() const;
    bool IsEmpty() const;
    double GetResolutionFactor() const { return resolutionFactor_; }

    // A context that draws into this image; it must not outlive the image.
    std::unique_ptr<NativeContext> GetContext();

    const std::shared_ptr<standin::dg::detail::Pixels>& GetPixels() const { return pixels_; }
    explicit NativeImage(std::shared_ptr<standin::dg::detail::Pixels> pixels, double resolutionFactor = 1.0);

private:
    std::shared_ptr<standin::dg::detail::Pixels> pixels_;
    double resolutionFactor_ = 1.0;
};

// Filtering of a scaled image: 0 nearest pixel, 1 smooth, 2 best.
constexpr int FilteringNearest = 0;
constexpr int FilteringSmooth = 1;
constexpr int FilteringBest = 2;

enum class BlitEffect { None = 0 };

struct Color {
    std::uint8_t red = 0;
    std::uint8_t green = 0;
    std::uint8_t blue = 0;
    std::uint8_t alpha = 255;
};

class NativeContext {
public:
    virtual ~NativeContext();
    NativeContext(const NativeContext&) = delete;
    NativeContext& operator=(const NativeContext&) = delete;

    // Draws the image scaled by (scaleX, scaleY) and rotated by `rotation` radians
    // about its top-left corner, which lands at (x, y). Opacity runs from 0 to 1.
    void DrawImage(const NativeImage& image, double scaleX, double scaleY, double rotation, double x, double y,
                   bool useAlpha, double opacity, int filtering, BlitEffect effect);

    // The font and colour later text drawing would use.
    void SetFont(const char* family, double size);
    void SetForeColor(const Color& color);

    // The size of the area this context draws on, in pixels.
    double GetWidth() const;
    double GetHeight() const;

protected:
    explicit NativeContext(std::shared_ptr<standin::dg::detail::DrawTarget> target);

private:
    friend class NativeImage;
    std::shared_ptr<standin::dg::detail::DrawTarget> target_;
};

// The context of a user item's update event: draws into the item's area.
class UserItemUpdateNativeContext : public NativeContext {
public:
    explicit UserItemUpdateNativeContext(const DG::UserItemUpdateEvent& event);
};

}  // namespace NewDisplay
