#include "db/TarvelDB.hpp"

namespace tarvel {
namespace {

template <typename T, typename Index>
void AddFirstOfId(std::vector<std::shared_ptr<T>>& list, Index& index, const std::shared_ptr<T>& entity)
{
    if (!entity)
        return;
    const std::size_t hash = std::hash<std::wstring>{}(entity->id);
    const auto [first, last] = index.equal_range(hash);
    for (auto it = first; it != last; ++it)
        if (it->second < list.size() && list[it->second] && list[it->second]->id == entity->id)
            return;
    index.emplace(hash, list.size());
    list.push_back(entity);
}

template <typename T, typename Map>
void Store(Map& map, const std::shared_ptr<T>& entity, const std::wstring& id)
{
    if (!entity || id.empty())
        return;
    map[id] = entity;
}

template <typename Map>
typename Map::mapped_type Lookup(const Map& map, const std::wstring& id)
{
    const auto found = map.find(id);
    return found != map.end() ? found->second : typename Map::mapped_type();
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

std::shared_ptr<Material> ImportContext::FindMaterial(const std::wstring& id) const { return Lookup(materials_, id); }
std::shared_ptr<LineStyle> ImportContext::FindLineStyle(const std::wstring& id) const
{
    return Lookup(lineStyles_, id);
}
std::shared_ptr<Sketch> ImportContext::FindSketch(const std::wstring& id) const { return Lookup(sketches_, id); }
std::shared_ptr<Element> ImportContext::FindElement(const std::wstring& id) const { return Lookup(elements_, id); }

}  // namespace tarvel
