// The palette's buttons: owner-drawn user items bound to an action tool or a product
// library. A button draws its value's picture, shrunk to fit with a one-pixel margin
// and centred, at half opacity while disabled; the caption is the palette's tooltip.
#pragma once

#include "DG.hpp"
#include "NewDisplay.hpp"
#include "controllers/Library.hpp"
#include "dialogs/ActionTool.hpp"
#include "ostrel/ApplicationContent.hpp"
#include "ostrel/dgx/Icons.hpp"
#include "ostrel/dgx/UserItem.hpp"

#include <boost/noncopyable.hpp>

#include <memory>

namespace tarvel::dialogs {

template <typename T>
class IconAndTextButtonUserItem : public ostrel::ac::dgx::UserItemX<IconAndTextButtonUserItem<T>>,
                                  boost::noncopyable {
public:
    IconAndTextButtonUserItem(const DG::Panel& panel, const DG::Rect& rect, ostrel::ApplicationContentCache* cache);
    ~IconAndTextButtonUserItem() override;

    // Takes the value's caption and picture; a value with neither keeps the ones
    // the button had.
    void SetValue(T newValue);
    const T& GetValue() const { return value; }
    const GS::UniString& GetCaption() const { return caption; }
    const NewDisplay::NativeImage& GetIcon() const { return icon; }

    // A click runs onClick only while the item is enabled.
    void OnClicked(const DG::ItemClickEvent& ev) override;
    void OnMouseUp(const DG::ItemMouseUpEvent& ev, bool* processed) override;
    // Draws the picture.
    void OnUpdate(const DG::UserItemUpdateEvent& ev) override;

private:
    void Draw(const DG::UserItemUpdateEvent& ev);

    NewDisplay::NativeImage icon;
    GS::UniString caption;
    T value;
};

using ActionToolButton = IconAndTextButtonUserItem<std::shared_ptr<ActionTool>>;
using LibraryButton = IconAndTextButtonUserItem<std::shared_ptr<Library>>;

extern template class IconAndTextButtonUserItem<std::shared_ptr<ActionTool>>;
extern template class IconAndTextButtonUserItem<std::shared_ptr<Library>>;

// The library's logo from the cache at its own size (relative to the cache's folder);
// null when the library has no logo or its file gives no picture.
std::shared_ptr<ostrel::ac::dgx::IIconOwner> GetLibraryIcon(const std::shared_ptr<Library>& library,
                                                            ostrel::ApplicationContentCache* cache);

}  // namespace tarvel::dialogs
