// The pictures the dialogs show: icons decoded from image files (scaled down to a
// largest size when asked) or taken from the add-on's icon resources.
#pragma once

#include "DG.hpp"
#include "GX.hpp"
#include "NewDisplay.hpp"
#include "ostrel/AnyKey.hpp"
#include "ostrel/ApplicationContent.hpp"
#include "ostrel/VirtualSharedFromThis.hpp"

#include <cstdint>
#include <memory>
#include <string>

namespace ostrel::ac::dgx {

class IIconOwner : public virtual VirtualSharedFromThis<IIconOwner> {
public:
    virtual const DG::Icon& GetIcon() const = 0;
};

class IconData : public IIconOwner {
public:
    const DG::Icon& GetIcon() const override { return icon; }
    const NewDisplay::NativeImage& GetNativeImage() const { return nativeImage; }
    const GX::Image& GetImage() const { return image; }

protected:
    NewDisplay::NativeImage nativeImage;
    GX::Image image;
    DG::Icon icon;
};

// An image file's bytes and the icon decoded from them. The size key is empty (the
// file's own size) or a glm::dvec2 (largest width, largest height): a larger
// picture is shrunk to fit, keeping its proportions; a smaller one is never enlarged.
class ContentIcon : public ApplicationContentObject, public IconData {
public:
    ContentIcon(const std::string& filePath, const AnyKey& sizeKey);
    static std::shared_ptr<ContentIcon> Create(const std::string& filePath, const AnyKey& sizeKey);
};

// An icon of the add-on's resources.
class ResourceIcon : public IIconOwner {
public:
    explicit ResourceIcon(std::int16_t resourceId);
    static std::shared_ptr<ResourceIcon> Create(std::int16_t resourceId);
    const DG::Icon& GetIcon() const override { return icon; }

private:
    DG::Icon icon;
};

// The host's encoding code for a file name: ".png" 1, ".jpg" and ".jpeg" 0, anything
// else 2 (letter case ignored).
std::uint8_t ImageFormatFromFileName(const std::string& fileName);

}  // namespace ostrel::ac::dgx
