#include "dialogs/IconAndTextButton.hpp"

#include "Main/Guard.hpp"
#include "ostrel/Text.hpp"
#include "ostrel/interop/Interop.hpp"

#include <algorithm>
#include <exception>

namespace tarvel::dialogs {
namespace {

using ostrel::ac::dgx::IIconOwner;

std::wstring CaptionOf(const std::shared_ptr<ActionTool>& tool) { return tool ? tool->caption : std::wstring(); }
std::wstring CaptionOf(const std::shared_ptr<Library>& library) { return library ? library->name : std::wstring(); }

std::shared_ptr<IIconOwner> PictureOf(const std::shared_ptr<ActionTool>& tool, ostrel::ApplicationContentCache*)
{
    if (!tool)
        return nullptr;
    return ostrel::ac::dgx::ResourceIcon::Create(tool->iconResourceId);
}

std::shared_ptr<IIconOwner> PictureOf(const std::shared_ptr<Library>& library, ostrel::ApplicationContentCache* cache)
{
    return GetLibraryIcon(library, cache);
}

}  // namespace

std::shared_ptr<IIconOwner> GetLibraryIcon(const std::shared_ptr<Library>& library,
                                           ostrel::ApplicationContentCache* cache)
{
    if (!library || cache == nullptr || library->logo.empty())
        return nullptr;
    std::string path;
    try {
        path = ostrel::WStringToUtf8(library->logo);
    } catch (const std::exception&) {
        // A logo name that is no text names no file.
        return nullptr;
    }
    return cache->Get(path, ostrel::AnyKey());
}

template <typename T>
IconAndTextButtonUserItem<T>::IconAndTextButtonUserItem(const DG::Panel& panel, const DG::Rect& rect,
                                                        ostrel::ApplicationContentCache* cache)
    : ostrel::ac::dgx::UserItemX<IconAndTextButtonUserItem<T>>(panel, rect, cache)
{
}

template <typename T>
IconAndTextButtonUserItem<T>::~IconAndTextButtonUserItem() = default;

template <typename T>
void IconAndTextButtonUserItem<T>::SetValue(T newValue)
{
    const std::wstring text = CaptionOf(newValue);
    const std::shared_ptr<IIconOwner> picture = PictureOf(newValue, this->GetContentCache());
    if (!text.empty() || picture) {
        caption = ostrel::ac::interop::ToUniString(text);
        if (auto content = std::dynamic_pointer_cast<ostrel::ac::dgx::ContentIcon>(picture))
            icon = content->GetNativeImage();
        else if (auto resource = std::dynamic_pointer_cast<ostrel::ac::dgx::ResourceIcon>(picture))
            icon = DG::NativeImage(resource->GetIcon(), 1.0).GetNativeImage();
    }
    value = std::move(newValue);
}

template <typename T>
void IconAndTextButtonUserItem<T>::OnClicked(const DG::ItemClickEvent&)
{
    if (this->GetItem().IsEnabled() && this->onClick) {
        auto command = this->onClick;
        command();
    }
}

template <typename T>
void IconAndTextButtonUserItem<T>::OnMouseUp(const DG::ItemMouseUpEvent&, bool* processed)
{
    *processed = false;
    if (this->GetItem().IsEnabled() && this->onClick) {
        // The command may run a modal dialog; nothing of the button is used after it.
        auto command = this->onClick;
        *processed = true;
        command();
    }
}

template <typename T>
void IconAndTextButtonUserItem<T>::OnUpdate(const DG::UserItemUpdateEvent& ev)
{
    // The draw event is a handler like any other: nothing thrown may reach the host.
    RunGuarded([&] { Draw(ev); });
}

template <typename T>
void IconAndTextButtonUserItem<T>::Draw(const DG::UserItemUpdateEvent& ev)
{
    NewDisplay::UserItemUpdateNativeContext context(ev);
    const bool enabled = this->GetItem().IsEnabled();
    // A caption would be drawn in this font and colour; the button shows none.
    context.SetFont("Arial", 11);
    const std::uint8_t grey = enabled ? 0x54 : 0x90;
    context.SetForeColor(NewDisplay::Color{grey, grey, grey, 255});

    const auto w = static_cast<float>(icon.GetWidth());
    const auto h = static_cast<float>(icon.GetHeight());
    if (w == 0 || h == 0)
        return;
    const auto width = static_cast<float>(this->GetItem().GetWidth());
    const auto height = static_cast<float>(this->GetItem().GetHeight());
    // No room inside the margin: nothing to draw.
    if (width <= 2 || height <= 2)
        return;
    const float sx = w > width - 2 ? (width - 2) / w : 1.0f;
    const float sy = h > height - 2 ? (height - 2) / h : 1.0f;
    const float s = std::min(sx, sy);
    const double x = (width - w * s) * 0.5;
    const double y = (height - h * s) * 0.5;
    context.DrawImage(icon, s, s, 0, x, y, true, enabled ? 1.0 : 0.5, NewDisplay::FilteringSmooth,
                      NewDisplay::BlitEffect::None);
}

template class IconAndTextButtonUserItem<std::shared_ptr<ActionTool>>;
template class IconAndTextButtonUserItem<std::shared_ptr<Library>>;

}  // namespace tarvel::dialogs
