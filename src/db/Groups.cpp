#include "db/EmitText.hpp"
#include "db/Entities.hpp"

#include "ostrel/Text.hpp"

#include <algorithm>
#include <charconv>
#include <optional>
#include <string_view>
#include <typeinfo>
#include <utility>

namespace tarvel {
namespace {

// A prefix and a text followed by "_": the part of a counted name before its digits,
// as UTF-8 for the lines and as wide text for the result list.
class NameStem {
public:
    NameStem(std::string_view prefix, std::wstring_view widePrefix, std::wstring_view text) : line_(prefix)
    {
        line_.Wide(text) << "_";
        wideSize_ = widePrefix.size() + text.size() + 1;
        wchar_t* wide = wideLocal_;
        if (wideSize_ > std::size(wideLocal_)) {
            wideHeap_.resize(wideSize_);
            wide = wideHeap_.data();
        }
        wide = std::copy(widePrefix.begin(), widePrefix.end(), wide);
        wide = std::copy(text.begin(), text.end(), wide);
        *wide = L'_';
    }
    NameStem(const NameStem&) = delete;
    NameStem& operator=(const NameStem&) = delete;

    std::string_view Text() const { return line_.Text(); }
    std::wstring_view Wide() const
    {
        return wideHeap_.empty() ? std::wstring_view(wideLocal_, wideSize_) : std::wstring_view(wideHeap_);
    }

private:
    emit::Line line_;
    wchar_t wideLocal_[64];
    std::wstring wideHeap_;  // a stem too long for wideLocal_
    std::size_t wideSize_ = 0;
};

// The names one part or assembly emission gives its groups: a prefix, the id as it
// may stand in the name, "_" and the counter's decimal text. A quoted name carries
// the id as GdlNameText has it; an unquoted one (a result name) only the characters
// of a GDL name. The stems are worked out once, so that a name costs a copy and its
// digits.
template <typename Counter>
class CountedNames {
public:
    // assigned: how this id stands in the generation's result names, where
    // AssignResultIds gave it a text; null to map it on its own.
    CountedNames(std::string_view prefix, std::wstring_view widePrefix, const std::wstring& id,
                 const std::wstring* assigned)
        : quoted_(prefix, widePrefix,
                  // The encoded text lives to the end of this initializer, which copies it.
                  NeedsNameEncoding(id) ? std::wstring_view(GdlNameText(id)) : std::wstring_view(id))
    {
        if (emit::NeedsBareNameText(id))
            bare_.emplace(prefix, widePrefix,
                          assigned != nullptr ? std::wstring_view(*assigned) : std::wstring_view(emit::BareNameText(id)));
    }
    CountedNames(const CountedNames&) = delete;
    CountedNames& operator=(const CountedNames&) = delete;

    // Takes the counter's value for a new name and increments the counter.
    static Counter Take(Counter& counter)
    {
        const Counter value = counter;
        counter = static_cast<Counter>(counter + 1);
        return value;
    }

    template <typename Line>
    void Write(Line& line, Counter value, bool quoted = false) const
    {
        if (quoted)
            line << "\"";
        line << Stem(quoted).Text();
        if (value > 0 && value < 1000) {  // the usual counter
            const emit::Triple& digits = emit::kTriples[static_cast<std::size_t>(value)];
            const int skip = value < 10 ? 2 : value < 100 ? 1 : 0;
            line << std::string_view(digits.digits + skip, static_cast<std::size_t>(3 - skip));
        } else {
            line << static_cast<long>(value);
        }
        if (quoted)
            line << "\"";
    }

    // The name as wide text, written over `name` so that its storage is reused.
    void Assign(std::wstring& name, Counter value, bool quoted = false) const
    {
        char digits[8];
        const char* digitsEnd = std::to_chars(digits, digits + sizeof digits, value).ptr;
        const std::wstring_view stem = Stem(quoted).Wide();
        const std::size_t size = stem.size() + static_cast<std::size_t>(digitsEnd - digits) + (quoted ? 2 : 0);
        wchar_t local[96];
        std::wstring heap;
        wchar_t* text = local;
        if (size > std::size(local)) {
            heap.resize(size);
            text = heap.data();
        }
        wchar_t* out = text;
        if (quoted)
            *out++ = L'"';
        out = std::copy(stem.begin(), stem.end(), out);
        out = std::copy(static_cast<const char*>(digits), digitsEnd, out);
        if (quoted)
            *out = L'"';
        name.assign(text, size);
    }

private:
    const NameStem& Stem(bool quoted) const { return quoted || !bare_ ? quoted_ : *bare_; }

    NameStem quoted_;
    std::optional<NameStem> bare_;  // only for an id with characters outside a GDL name
};

using PartNames = CountedNames<std::int16_t>;
using AssemblyNames = CountedNames<std::uint16_t>;

const char* GroupOperation(std::int16_t boolOp) { return boolOp == 2 ? "SUBGROUP" : "ISECTGROUP"; }

// Writes "X = OP (left, right)" and an empty line, X being a new name from the
// counter and the right operand written by writeRight, and then makes `target`
// that name. `target` may be `left` itself.
template <typename Counter, typename WriteRight>
void Combine(GdlWriter& writer, const CountedNames<Counter>& names, Counter& counter, std::wstring& target,
             const char* operation, const std::wstring& left, const WriteRight& writeRight)
{
    const Counter value = CountedNames<Counter>::Take(counter);
    emit::ScriptLine line(writer, "");
    names.Write(line, value);
    line << " = " << std::string_view(operation) << " (";
    line.Wide(left) << ", ";
    writeRight(line);
    line << ")";
    line.EndWithEmptyLine();
    names.Assign(target, value);
}

// "GROUP name", the solid, "ENDGROUP": the solid's group under the counter's next
// name, which is returned as the counter's value.
std::int16_t WriteSolidGroup(GdlWriter& writer, const PartNames& names, std::int16_t& counter,
                             const std::shared_ptr<BasicEntry3D>& solid)
{
    const std::shared_ptr<BasicEntry3D> held = solid;
    const std::int16_t value = PartNames::Take(counter);
    {
        emit::ScriptLine line(writer, "GROUP ");
        names.Write(line, value, true);
        line.EndWithEmptyLine();
    }
    if (held)
        held->EmitGDL(writer);
    emit::ScriptLine(writer, "ENDGROUP").EndWithEmptyLine();
    return value;
}

void WriteSetMaterial(GdlWriter& writer, const Material& material)
{
    emit::ScriptLine line(writer, "SET MATERIAL \"");
    if (NeedsNameEncoding(material.name))
        line.Wide(GdlNameText(material.name));
    else
        line.Wide(material.name);
    (line << "\"").End();
}

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

// Makes the part being written known to the writer, for what its solids report.
class PartScope {
public:
    PartScope(GdlWriter& writer, const std::wstring& id) : writer_(writer), previous_(writer.partId)
    {
        writer_.partId = &id;
    }
    ~PartScope() { writer_.partId = previous_; }
    PartScope(const PartScope&) = delete;
    PartScope& operator=(const PartScope&) = delete;

private:
    GdlWriter& writer_;
    const std::wstring* previous_;
};

}  // namespace

std::wstring Part::EmitSolidGroup(GdlWriter& writer, std::int16_t& counter, const std::shared_ptr<BasicEntry3D>& solid)
{
    const PartNames names("part_", L"part_", id, emit::AssignedResultId(writer.partResultIds, id));
    std::wstring name;
    names.Assign(name, WriteSolidGroup(writer, names, counter, solid), true);
    return name;
}

void Part::EmitGDL(GdlWriter& writer)
{
    writer.EnterElement();
    const PartScope scope(writer, id);
    if (material)
        WriteSetMaterial(writer, *material);
    const PartNames names("part_", L"part_", id, emit::AssignedResultId(writer.partResultIds, id));
    std::int16_t counter = 1;
    auto& list = writer.groupNames;
    for (const auto& solid : solids) {
        if (!solid)
            continue;
        const std::int16_t group = WriteSolidGroup(writer, names, counter, solid);
        // The list's entry becomes the group's (quoted) name.
        const auto place = [&](std::wstring& entry) { names.Assign(entry, group, true); };
        // "X = OP (entry, group)", and the entry becomes X.
        const auto combine = [&](std::wstring& entry, const char* operation) {
            Combine(writer, names, counter, entry, operation, entry,
                    [&](emit::ScriptLine& line) { names.Write(line, group, true); });
        };
        switch (solid->boolOp) {
        case 1:
            if (!list.at(0).empty())
                combine(list.at(0), "ADDGROUP");
            else if (solid->simple)
                place(list.at(0));
            else if (!list.at(list.size() - 1).empty())
                combine(list.at(list.size() - 1), "ADDGROUP");
            else
                place(list.at(0));
            break;
        case 2:
        case 3:
            if (solid->simple) {
                if (!list.at(0).empty())
                    combine(list.at(0), GroupOperation(solid->boolOp));
                else
                    place(list.at(0));
            } else {
                for (auto& entry : list)
                    if (!entry.empty())
                        combine(entry, GroupOperation(solid->boolOp));
            }
            break;
        default:
            // As the writer's first name would be read: an empty list fails.
            if (list.empty())
                writer.GetFirstGroupName();
            if (!list.front().empty()) {
                list.emplace_back();
                place(list.back());
            } else {
                place(list.front());
            }
            break;
        }
    }
}

void Assembly::EmitGDL(GdlWriter& writer)
{
    writer.EnterElement();
    AssemblyScope scope(writer, this, id);
    const AssemblyNames names("assembly_", L"assembly_", id, emit::AssignedResultId(writer.assemblyResultIds, id));
    std::vector<std::wstring> results(1);
    std::uint16_t counter = 1;
    const auto combine = [&](std::wstring& target, const char* operation, const std::wstring& left,
                             const std::wstring& right) {
        Combine(writer, names, counter, target, operation, left,
                [&](emit::ScriptLine& line) { line.Wide(right); });
    };
    for (const auto& child : children) {
        if (!child)
            continue;
        // The lists are handed over, not copied: a part works on its parent's list,
        // and an assembly replaces whatever it finds.
        const auto& entity = *child;
        if (typeid(entity) == typeid(Part) || dynamic_cast<const Part*>(&entity) != nullptr) {
            writer.groupNames = std::move(results);
            child->EmitGDL(writer);
            results = std::move(writer.groupNames);
            writer.groupNames.clear();
            continue;
        }
        child->EmitGDL(writer);
        std::vector<std::wstring> childResults = std::move(writer.groupNames);
        writer.groupNames.clear();
        const std::string& mode = child->boolMode;
        if (mode == "UNION_ALL") {
            // The chain of unions is built in the entry it ends in.
            if (!results.at(0).empty()) {
                std::wstring& a = results.at(0);
                for (const auto& r : childResults)
                    combine(a, "ADDGROUP", a, r);
            } else {
                std::wstring& a = results.at(results.size() - 1);
                for (auto& r : childResults) {
                    if (a.empty())
                        a = std::move(r);
                    else
                        combine(a, "ADDGROUP", a, r);
                }
            }
        } else if (mode == "SUBTRACT_ALL" || mode == "INTERSECT_ALL") {
            std::wstring f;
            for (auto& r : childResults) {
                if (f.empty())
                    f = std::move(r);
                else
                    combine(f, "ADDGROUP", f, r);
            }
            if (!f.empty()) {
                const char* operation = mode == "SUBTRACT_ALL" ? "SUBGROUP" : "ISECTGROUP";
                for (auto& entry : results)
                    if (!entry.empty())
                        combine(entry, operation, entry, f);
            }
        } else {
            results.insert(results.end(), std::make_move_iterator(childResults.begin()),
                           std::make_move_iterator(childResults.end()));
        }
    }
    writer.ClearGroupNames();
    writer.groupNames.reserve(static_cast<std::size_t>(
        std::count_if(results.begin(), results.end(), [](const std::wstring& entry) { return !entry.empty(); })));
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
