// The stand-in host's tools with their default elements, the placed elements with
// their parameters, the selection and the undo steps.
#pragma once

#include "HostRecords.hpp"
#include "standin/Host.hpp"
#include "standin/LibParts.hpp"

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace standin {

// The tools: window 4, door 5, object 6, lamp 7, skylight 44. Each holds a default
// element; a fresh host gives every default a = b = 1, no library part, and a few
// settings of its own in bytes the add-on never writes (see DefaultSettingOffset).
class ToolModule : public HostModule {
public:
    static constexpr std::size_t DefaultSettingOffset = 100;

    explicit ToolModule(Host& host);
    void Install(FunctionTable& table) override;

    static bool IsToolType(std::int32_t elementType);
    // 0 while no tool was selected.
    std::int32_t ActiveTool() const { return activeTool_; }
    HostInterface::ElementRecord Defaults(std::int32_t elementType) const;
    void SetDefaults(std::int32_t elementType, const HostInterface::ElementRecord& record);

    GSErrCode Select(const HostInterface::ToolboxRecord* tool);
    GSErrCode ReadDefaults(HostInterface::ElementRecord* element, HostInterface::ElementMemo* memo);
    GSErrCode PartDefaults(std::int32_t index, double* a, double* b, std::int32_t* count, GSHandle* parameters);
    GSErrCode StoreDefaults(const HostInterface::ElementRecord* element, HostInterface::ElementMemo* memo,
                            const HostInterface::ElementRecord* mask);

private:
    Host& host_;
    std::int32_t activeTool_ = 0;
    std::map<std::int32_t, HostInterface::ElementRecord> defaults_;
};

struct PlacedElement {
    HostInterface::ElementRecord record{};
    std::int32_t kind = 0;
    bool editable = true;
    bool hasParameters = true;
    std::vector<PartParameter> parameters;

    std::int32_t Type() const { return record.elementType; }
    // The library index at the field of the element's type.
    std::int32_t LibIndex() const;
    const PartParameter* Parameter(const std::string& name) const;
};

struct UndoStep {
    std::string name;
    std::vector<PlacedElement> before;
};

class ElementModule : public HostModule {
public:
    // Every memo part but bit 30: what a replacement reads.
    static constexpr std::uint64_t ReplacementMemoMask = 0x3FFFFFFFBFFFFFFFull;

    explicit ElementModule(Host& host);
    void Install(FunctionTable& table) override;

    // The kind a selected item of this element type carries, and back (0: none).
    static std::int32_t KindOfType(std::int32_t elementType);
    static std::int32_t TypeOfKind(std::int32_t kind);

    // Places an element of the type with the library part, its sizes and parameters.
    GS::Guid Place(std::int32_t elementType, std::int32_t libIndex, double a, double b,
                   std::vector<PartParameter> parameters, bool hasParameters = true);
    // Places the active part of that index with its default sizes and parameters.
    GS::Guid PlacePart(std::int32_t elementType, std::int32_t libIndex);
    void SetEditable(const GS::Guid& guid, bool editable);
    // Selects the elements; the add-on's selection handler hears of it.
    void Select(const std::vector<GS::Guid>& guids);
    std::vector<GS::Guid> Selection() const { return selection_; }
    std::optional<PlacedElement> Element(const GS::Guid& guid) const;
    std::vector<std::string> UndoSteps() const;
    // Undoes the last step; false when there is none.
    bool Undo();
    // Does the last undone step again; false when there is none. A new step forgets
    // the undone ones.
    bool Redo();

    // The add-on reads the editable selection without sub-elements (true, true, 0);
    // other flags are refused.
    GSErrCode ReadSelection(HostInterface::SelectionInfo* info, HostInterface::SelectionList* items,
                            bool onlyEditable, bool ignoreSubElements, std::int32_t reserved);
    // Two memo masks are taken: the parameter list alone (MemoParameters) and the whole
    // memo of a replacement (ReplacementMemoMask).
    GSErrCode ReadMemo(const GS::Guid* guid, HostInterface::ElementMemo* memo, std::uint64_t mask);
    GSErrCode ReadElement(HostInterface::ElementRecord* element, const void* reserved);
    // A change always carries the new parameter list (memo mask MemoParameters) and
    // the final flag true.
    GSErrCode Modify(HostInterface::ElementRecord* element, const HostInterface::ElementRecord* mask,
                     HostInterface::ElementMemo* memo, std::uint64_t memoMask, bool withDelete);
    GSErrCode RunAsUndoStep(const GS::UniString* name, const HostInterface::UndoableCommand* command);

private:
    PlacedElement* Find(const GS::Guid& guid);

    Host& host_;
    std::vector<PlacedElement> elements_;
    std::vector<GS::Guid> selection_;
    std::vector<UndoStep> undo_;
    // What each undone step made, to do it again.
    std::vector<UndoStep> redo_;
    bool inUndoStep_ = false;
    std::uint32_t nextGuid_ = 1;
};

}  // namespace standin
