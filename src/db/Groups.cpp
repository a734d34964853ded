#include "db/EmitText.hpp"
#include "db/Entities.hpp"

#include "ostrel/Text.hpp"

#include <charconv>
#include <string_view>
#include <utility>

namespace tarvel {
namespace {

// "X = OP (a, b)" and an empty line.
void WriteCombination(GdlWriter& writer, const std::wstring& result, const char* operation, const std::wstring& left,
                      const std::wstring& right)
{
    std::string& line = writer.Scratch();
    line.clear();
    AppendUtf8Of(line, result);
    line += " = ";
    line += operation;
    line += " (";
    AppendUtf8Of(line, left);
    line += ", ";
    AppendUtf8Of(line, right);
    line += ")";
    writer.AppendUtf8(line);
    writer.AppendUtf8("");
}

// prefix, the encoded id, "_" and the counter's decimal text, in quotes when asked
template <typename Counter>
std::wstring CountedName(std::wstring_view prefix, const std::wstring& id, Counter& counter, bool quoted = false)
{
    char digits[8];
    const auto end = std::to_chars(digits, digits + sizeof digits, counter).ptr;
    counter = static_cast<Counter>(counter + 1);
    const bool plain = id.find_first_of(L"\"\r\n") == std::wstring::npos;
    std::wstring name;
    name.reserve(prefix.size() + id.size() + 3 + static_cast<std::size_t>(end - digits));
    if (quoted)
        name += L'"';
    name += prefix;
    name += plain ? id : GdlNameText(id);
    name += L'_';
    name.append(digits, end);
    if (quoted)
        name += L'"';
    return name;
}

std::wstring PartName(const std::wstring& id, std::int16_t& counter) { return CountedName(L"part_", id, counter); }

std::wstring AssemblyName(const std::wstring& id, std::uint16_t& counter)
{
    return CountedName(L"assembly_", id, counter);
}

const char* GroupOperation(std::int16_t boolOp) { return boolOp == 2 ? "SUBGROUP" : "ISECTGROUP"; }

// Keeps the assembly path of the writer right when an emission leaves by an exception.
class AssemblyScope {
public:
    AssemblyScope(GdlWriter& writer, const Assembly* assembly, const std::wstring& id) : writer_(writer)
    {
        writer_.EnterAssembly(assembly, id);
    }
    ~AssemblyScope() { writer_.LeaveAssembly(); }
    AssemblyScope(const AssemblyScope&) = delete;
    AssemblyScope& operator=(const AssemblyScope&) = delete;

private:
    GdlWriter& writer_;
};

}  // namespace

std::wstring Part::EmitSolidGroup(GdlWriter& writer, std::int16_t& counter, const std::shared_ptr<BasicEntry3D>& solid)
{
    const std::shared_ptr<BasicEntry3D> held = solid;
    std::wstring name = CountedName(L"part_", id, counter, true);
    std::string& line = writer.Scratch();
    line.assign("GROUP ");
    AppendUtf8Of(line, name);
    writer.AppendUtf8(line);
    writer.AppendUtf8("");
    if (held)
        held->EmitGDL(writer);
    writer.AppendUtf8("ENDGROUP");
    writer.AppendUtf8("");
    return name;
}

void Part::EmitGDL(GdlWriter& writer)
{
    writer.EnterElement();
    if (material)
        writer.AppendLine(L"SET MATERIAL \"" + GdlNameText(material->name) + L"\"");
    std::int16_t counter = 1;
    auto& list = writer.groupNames;
    for (const auto& solid : solids) {
        if (!solid)
            continue;
        const std::wstring group = EmitSolidGroup(writer, counter, solid);
        const auto combine = [&](const std::wstring& left, const char* operation) {
            std::wstring result = PartName(id, counter);
            WriteCombination(writer, result, operation, left, group);
            return result;
        };
        switch (solid->boolOp) {
        case 1:
            if (!list.at(0).empty())
                list.at(0) = combine(list.at(0), "ADDGROUP");
            else if (solid->simple)
                list.at(0) = group;
            else if (!list.at(list.size() - 1).empty())
                list.at(list.size() - 1) = combine(list.at(list.size() - 1), "ADDGROUP");
            else
                list.at(0) = group;
            break;
        case 2:
        case 3:
            if (solid->simple) {
                if (!list.at(0).empty())
                    list.at(0) = combine(list.at(0), GroupOperation(solid->boolOp));
                else
                    list.at(0) = group;
            } else {
                std::vector<std::wstring> previous = std::move(list);
                list.clear();
                for (auto& entry : previous)
                    list.push_back(entry.empty() ? std::move(entry) : combine(entry, GroupOperation(solid->boolOp)));
            }
            break;
        default:
            if (!writer.GetFirstGroupName().empty())
                writer.PushGroupName(group);
            else
                writer.SetFirstGroupName(group);
            break;
        }
    }
}

void Assembly::EmitGDL(GdlWriter& writer)
{
    writer.EnterElement();
    AssemblyScope scope(writer, this, id);
    std::vector<std::wstring> results(1);
    std::uint16_t counter = 1;
    const auto combine = [&](const std::wstring& left, const char* operation, const std::wstring& right) {
        std::wstring result = AssemblyName(id, counter);
        WriteCombination(writer, result, operation, left, right);
        return result;
    };
    for (const auto& child : children) {
        if (!child)
            continue;
        // The lists are handed over, not copied: a part works on its parent's list,
        // and an assembly replaces whatever it finds.
        if (dynamic_cast<Part*>(child.get()) != nullptr) {
            writer.groupNames = std::move(results);
            child->EmitGDL(writer);
            results = std::move(writer.groupNames);
            writer.groupNames.clear();
            continue;
        }
        child->EmitGDL(writer);
        const std::vector<std::wstring> childResults = std::move(writer.groupNames);
        writer.groupNames.clear();
        const std::string& mode = child->boolMode;
        if (mode == "UNION_ALL") {
            if (!results.at(0).empty()) {
                std::wstring a = results.at(0);
                for (const auto& r : childResults)
                    a = combine(a, "ADDGROUP", r);
                results.at(0) = a;
            } else {
                std::wstring a = results.at(results.size() - 1);
                for (const auto& r : childResults)
                    a = a.empty() ? r : combine(a, "ADDGROUP", r);
                results.at(results.size() - 1) = a;
            }
        } else if (mode == "SUBTRACT_ALL" || mode == "INTERSECT_ALL") {
            std::wstring f;
            for (const auto& r : childResults)
                f = f.empty() ? r : combine(f, "ADDGROUP", r);
            if (!f.empty()) {
                const char* operation = mode == "SUBTRACT_ALL" ? "SUBGROUP" : "ISECTGROUP";
                std::vector<std::wstring> previous = std::move(results);
                results.clear();
                for (auto& entry : previous)
                    results.push_back(entry.empty() ? std::move(entry) : combine(entry, operation, f));
            }
        } else {
            results.insert(results.end(), childResults.begin(), childResults.end());
        }
    }
    writer.ClearGroupNames();
    for (auto& entry : results)
        if (!entry.empty())
            writer.PushGroupName(std::move(entry));
}

Assembly::~Assembly()
{
    // A chain of sub-assemblies held only by their parents would otherwise be
    // released by nested destructor calls, one stack frame per level.
    thread_local std::vector<std::shared_ptr<Element>>* pending = nullptr;
    if (pending != nullptr) {
        for (auto& child : children)
            pending->push_back(std::move(child));
        return;
    }
    std::vector<std::shared_ptr<Element>> queue = std::move(children);
    pending = &queue;
    while (!queue.empty()) {
        std::shared_ptr<Element> next = std::move(queue.back());
        queue.pop_back();
        next.reset();
    }
    pending = nullptr;
}

}  // namespace tarvel
