#include "db/TarvelDB.hpp"

#include <cstdint>

namespace tarvel {
namespace {

// FNV-1a over the units, then mixed so that the low bits, which pick the slot,
// depend on every unit.
template <typename Units, typename Unit>
std::size_t HashUnits(const Units& units, Unit toUnit)
{
    std::uint64_t hash = 14695981039346656037ull;
    for (const auto c : units) {
        hash ^= toUnit(c);
        hash *= 1099511628211ull;
    }
    hash ^= hash >> 33;
    hash *= 0xff51afd7ed558ccdull;
    hash ^= hash >> 33;
    return static_cast<std::size_t>(hash);
}

}  // namespace

std::size_t IdHash(const std::wstring& id)
{
    return HashUnits(id, [](wchar_t unit) { return static_cast<std::uint32_t>(unit); });
}

std::size_t IdHash(std::string_view asciiId)
{
    return HashUnits(asciiId, [](char unit) { return static_cast<std::uint32_t>(static_cast<unsigned char>(unit)); });
}

void IdSlots::Reserve(std::size_t count)
{
    std::size_t size = 16;
    while (size < count * 2)
        size *= 2;
    if (size > slots_.size())
        Grow(size);
}

void IdSlots::Grow(std::size_t slotCount)
{
    std::vector<Slot> old = std::move(slots_);
    slots_.assign(slotCount, Slot{});
    const std::size_t mask = slotCount - 1;
    for (const Slot& slot : old) {
        if (slot.position == kEmpty)
            continue;
        std::size_t i = slot.hash & mask;
        while (slots_[i].position != kEmpty)
            i = (i + 1) & mask;
        slots_[i] = slot;
    }
}

void IdSlots::Insert(std::size_t hash, std::size_t position)
{
    if ((used_ + 1) * 2 > slots_.size())
        Grow(slots_.empty() ? 16 : slots_.size() * 2);
    const std::size_t mask = slots_.size() - 1;
    std::size_t i = hash & mask;
    while (slots_[i].position != kEmpty)
        i = (i + 1) & mask;
    slots_[i] = Slot{hash, position};
    ++used_;
}

namespace {

template <typename T>
void AddFirstOfId(std::vector<std::shared_ptr<T>>& list, IdSlots& index, const std::shared_ptr<T>& entity)
{
    if (!entity)
        return;
    const std::size_t hash = IdHash(entity->id);
    const std::size_t found = index.Find(hash, [&](std::size_t position) {
        return position < list.size() && list[position] && list[position]->id == entity->id;
    });
    if (found != IdSlots::kEmpty)
        return;
    index.Insert(hash, list.size());
    list.push_back(entity);
}

template <typename T>
void Store(IdTable<T>& table, const std::shared_ptr<T>& entity, const std::wstring& id)
{
    if (!entity || id.empty())
        return;
    table.Store(id, entity);
}

}  // namespace

void TarvelDB::AddConfigParam(const std::shared_ptr<ConfigParam>& entity)
{
    AddFirstOfId(configParams, listed_.configParams, entity);
}
void TarvelDB::AddMaterial(const std::shared_ptr<Material>& entity)
{
    AddFirstOfId(materials, listed_.materials, entity);
}
void TarvelDB::AddLineStyle(const std::shared_ptr<LineStyle>& entity)
{
    AddFirstOfId(lineStyles, listed_.lineStyles, entity);
}
void TarvelDB::AddSketch(const std::shared_ptr<Sketch>& entity) { AddFirstOfId(sketches, listed_.sketches, entity); }
void TarvelDB::AddPart(const std::shared_ptr<Part>& entity)
{
    if (entity && !entity->solids.empty())
        AddFirstOfId(parts, listed_.parts, entity);
}
void TarvelDB::AddAssembly(const std::shared_ptr<Assembly>& entity)
{
    AddFirstOfId(assemblies, listed_.assemblies, entity);
}

void ImportContext::Register(const std::shared_ptr<Material>& entity, const std::wstring& id)
{
    Store(materials_, entity, id);
}
void ImportContext::Register(const std::shared_ptr<LineStyle>& entity, const std::wstring& id)
{
    Store(lineStyles_, entity, id);
}
void ImportContext::Register(const std::shared_ptr<Sketch>& entity, const std::wstring& id)
{
    Store(sketches_, entity, id);
}
void ImportContext::Register(const std::shared_ptr<Element>& entity, const std::wstring& id)
{
    Store(elements_, entity, id);
}

std::shared_ptr<Material> ImportContext::FindMaterial(const std::wstring& id) const { return materials_.Find(id); }
std::shared_ptr<LineStyle> ImportContext::FindLineStyle(const std::wstring& id) const
{
    return lineStyles_.Find(id);
}
std::shared_ptr<Sketch> ImportContext::FindSketch(const std::wstring& id) const { return sketches_.Find(id); }
std::shared_ptr<Element> ImportContext::FindElement(const std::wstring& id) const { return elements_.Find(id); }

}  // namespace tarvel
