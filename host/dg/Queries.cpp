// What is on screen, for tests and tools.
#include "DgInternal.hpp"

namespace standin::dg {
namespace detail {
namespace {

ItemInfo InfoOf(const ItemState& item)
{
    ItemInfo info;
    info.id = item.id;
    info.kind = item.kind != nullptr ? item.kind->Name() : "";
    info.rect = item.rect;
    info.visible = item.visible;
    info.enabled = item.enabled;
    info.wrapped = item.wrapper != nullptr;
    info.text = Utf8(item.text);
    info.checked = item.checked;
    info.min = item.min;
    info.max = item.max;
    info.value = item.value;
    info.maxLength = item.maxLength;
    info.iconModule = item.iconModule;
    info.iconId = item.iconId;
    if (item.kind != nullptr)
        item.kind->Describe(item, info);
    return info;
}

PanelInfo InfoOf(const PanelState& panel)
{
    PanelInfo info;
    info.id = panel.id;
    info.resourceId = panel.ResourceId();
    info.title = Utf8(panel.title);
    info.modal = panel.modal;
    info.running = panel.running;
    info.visible = panel.visible;
    info.idleEnabled = panel.idleEnabled;
    info.clientWidth = panel.clientWidth;
    info.clientHeight = panel.clientHeight;
    info.minClientWidth = panel.minWidth;
    info.minClientHeight = panel.minHeight;
    info.guid = panel.guid.IsNull() ? "" : panel.guid.ToString();
    info.status = panel.status;
    info.idleForInactiveApp = panel.idleForInactiveApp;
    info.clientSizeFixPoint = panel.clientSizeFixPoint;
    info.clientSizeKeepOld = panel.clientSizeKeepOld;
    for (const auto& item : panel.items)
        if (!item->dead)
            info.items.push_back(InfoOf(*item));
    return info;
}

}  // namespace
}  // namespace detail

using namespace detail;

std::vector<PanelInfo> Panels()
{
    std::vector<PanelInfo> panels;
    if (!CheckCall("standin::dg::Panels"))
        return panels;
    for (const auto& panel : GetState().panels)
        panels.push_back(InfoOf(*panel));
    return panels;
}

std::optional<PanelInfo> FindPanel(short resourceId)
{
    if (!CheckCall("standin::dg::FindPanel"))
        return std::nullopt;
    const auto panel = NewestPanel(resourceId);
    return panel ? std::optional(InfoOf(*panel)) : std::nullopt;
}

std::optional<ItemInfo> FindItem(short resourceId, short itemId)
{
    if (!CheckCall("standin::dg::FindItem"))
        return std::nullopt;
    const auto panel = NewestPanel(resourceId);
    const auto item = panel ? panel->FindItem(itemId) : nullptr;
    return item ? std::optional(InfoOf(*item)) : std::nullopt;
}

void SetDocked(short resourceId, bool docked)
{
    if (!CheckCall("standin::dg::SetDocked"))
        return;
    if (const auto panel = NewestPanel(resourceId))
        panel->docked = docked;
}

}  // namespace standin::dg
