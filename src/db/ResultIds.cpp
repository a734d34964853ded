// The texts by which the ids of parts and assemblies stand in the unquoted result names.
// Kept apart from the group emission, whose many small lines are better inlined.
#include "db/EmitText.hpp"
#include "db/GdlGeneration.hpp"

#include <algorithm>
#include <string>
#include <unordered_set>

namespace tarvel {
namespace emit {
namespace {

bool IsBareNameUnit(wchar_t c)
{
    return (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z') || (c >= L'0' && c <= L'9') || c == L'_';
}

}  // namespace

bool NeedsBareNameText(std::wstring_view id) { return !std::all_of(id.begin(), id.end(), IsBareNameUnit); }

std::wstring BareNameText(std::wstring_view id)
{
    std::wstring out;
    out.reserve(id.size());
    for (std::size_t i = 0; i < id.size(); ++i) {
        const wchar_t c = id[i];
        if (IsBareNameUnit(c)) {
            out.push_back(c);
            continue;
        }
        out.push_back(L'_');
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < id.size() && id[i + 1] >= 0xDC00 && id[i + 1] <= 0xDFFF)
            ++i;
    }
    return out;
}

const std::wstring* AssignedResultId(const std::unordered_map<std::wstring, std::wstring>& resultIds,
                                     const std::wstring& id)
{
    if (resultIds.empty())
        return nullptr;
    const auto found = resultIds.find(id);
    return found != resultIds.end() ? &found->second : nullptr;
}

}  // namespace emit

namespace {

// The result ids of one kind, for the ids in list order.
template <typename Entity>
std::unordered_map<std::wstring, std::wstring> ResultIds(const std::vector<std::shared_ptr<Entity>>& entities)
{
    std::unordered_map<std::wstring, std::wstring> assigned;
    const auto mapped = [](const auto& entity) { return entity && emit::NeedsBareNameText(entity->id); };
    if (std::none_of(entities.begin(), entities.end(), mapped))
        return assigned;
    std::unordered_set<std::wstring> taken;
    for (const auto& entity : entities)
        if (entity)
            taken.insert(entity->id);
    for (const auto& entity : entities) {
        if (!mapped(entity) || assigned.count(entity->id) != 0)
            continue;
        const std::wstring text = emit::BareNameText(entity->id);
        std::wstring candidate = text;
        for (unsigned suffix = 2; taken.count(candidate) != 0; ++suffix)
            candidate = text + L"_" + std::to_wstring(suffix);
        taken.insert(candidate);
        assigned.emplace(entity->id, std::move(candidate));
    }
    return assigned;
}

}  // namespace

void AssignResultIds(const TarvelDB& database, GdlWriter& writer)
{
    writer.partResultIds = ResultIds(database.parts);
    writer.assemblyResultIds = ResultIds(database.assemblies);
}

}  // namespace tarvel
