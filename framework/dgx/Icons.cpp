#include "ostrel/dgx/Icons.hpp"

#include "ostrel/Text.hpp"
#include "ostrel/interop/HostApi.hpp"

#include <algorithm>
#include <cmath>
#include <locale>

namespace ostrel::ac::dgx {

ContentIcon::ContentIcon(const std::string& filePath, const AnyKey& sizeKey) : ApplicationContentObject(filePath.c_str())
{
    nativeImage = NewDisplay::NativeImage(data, static_cast<std::size_t>(size), ImageFormatFromFileName(filePath));
    image = GX::Image(nativeImage);
    icon = DG::Icon(image.GetIconHandle());

    const auto& model = sizeKey.GetConcept();
    if (typeid(model) == typeid(AnyKey::EmptyKeyModel))
        return;
    const glm::dvec2& most = dynamic_cast<const AnyKey::Model<glm::dvec2>&>(model).value;
    double w = image.GetWidth();
    double h = image.GetHeight();
    double s = 1;
    if (w > most.x) {
        s = most.x / w;
        w *= s;
        h *= s;
    }
    if (h > most.y) {
        const double t = most.y / h;
        w *= t;
        h *= t;
        s *= t;
    }
    if (!(s < 1))
        return;
    // A very flat or very narrow picture keeps at least one pixel each way, and its
    // picture fills that pixel.
    double sx = s;
    double sy = s;
    if (std::trunc(w) < 1)
        sx = 1.0 / image.GetWidth();
    if (std::trunc(h) < 1)
        sy = 1.0 / image.GetHeight();
    const auto width = static_cast<std::uint32_t>(std::max(1.0, std::trunc(w)));
    const auto height = static_cast<std::uint32_t>(std::max(1.0, std::trunc(h)));
    NewDisplay::NativeImage scaled(width, height, nativeImage, 1.0);
    if (auto context = scaled.GetContext())
        context->DrawImage(nativeImage, sx, sy, 0, 0, 0, true, 1.0, NewDisplay::FilteringSmooth,
                           NewDisplay::BlitEffect::None);
    nativeImage = scaled;
    image = GX::Image(nativeImage);
    icon = DG::Icon(image.GetIconHandle());
}

std::shared_ptr<ContentIcon> ContentIcon::Create(const std::string& filePath, const AnyKey& sizeKey)
{
    return std::make_shared<ContentIcon>(filePath, sizeKey);
}

ResourceIcon::ResourceIcon(std::int16_t resourceId) : icon(HostApi_ResourceModuleId(), resourceId) {}

std::shared_ptr<ResourceIcon> ResourceIcon::Create(std::int16_t resourceId)
{
    return std::make_shared<ResourceIcon>(resourceId);
}

std::uint8_t ImageFormatFromFileName(const std::string& fileName)
{
    std::string lower = fileName;
    const auto& ctype = std::use_facet<std::ctype<char>>(std::locale());
    ctype.tolower(lower.data(), lower.data() + lower.size());
    if (EndsWith(lower, ".png"))
        return NewDisplay::NativeImage::EncodingPng;
    if (EndsWith(lower, ".jpg") || EndsWith(lower, ".jpeg"))
        return NewDisplay::NativeImage::EncodingJpeg;
    return 2;
}

}  // namespace ostrel::ac::dgx
