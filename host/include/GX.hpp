// Stand-in for the host's graphics library: an image over a native image, and
// the icon handle a dialog icon is made from.
#pragma once

#include "NewDisplay.hpp"

#include <cstdint>
#include <memory>

namespace GX {

// An icon in the form the dialog manager takes (DG::Icon).
struct IconHandle {
    std::shared_ptr<standin::dg::detail::Pixels> pixels;
};

class Image {
public:
    Image() = default;
    explicit Image(const NewDisplay::NativeImage& image);

    std::uint32_t GetWidth() const { return image_.GetWidth(); }
    std::uint32_t GetHeight() const { return image_.GetHeight(); }
    bool IsEmpty() const { return image_.IsEmpty(); }

    IconHandle GetIconHandle() const;
    const NewDisplay::NativeImage& GetNativeImage() const { return image_; }

private:
    NewDisplay::NativeImage image_;
};

}  // namespace GX
