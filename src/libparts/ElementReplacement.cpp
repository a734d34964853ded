#include "libparts/ElementReplacement.hpp"

#include "libparts/ConfiguratorParams.hpp"
#include "ostrel/interop/HostApi.hpp"
#include "ostrel/interop/Interop.hpp"

#include <string>

namespace tarvel {

using namespace HostInterface;

namespace {

// STRS 22000 entry 3: the element was not replaced, with the host's error code.
void ReportReplacementFailure(GSErrCode code)
{
    std::string text = ostrel::ac::interop::LoadResourceStringUtf8(22000, 3);
    const std::size_t at = text.find("%d");
    if (at != std::string::npos)
        text.replace(at, 2, std::to_string(code));
    HostApi_Report(GS::UniString(text.c_str(), GS::CC_UTF8), false);
}

// The element gets the part and its defaults, as one undo step.
void ReplaceElement(const GS::Guid& guid, std::int32_t libraryIndex);

}  // namespace

std::int32_t ModifyElementCommandLambda::operator()() const
{
    return HostApi_ModifyElement(element, mask, memo, MemoParameters, true);
}

void ReplaceSelectedElementLibPart(std::int32_t libraryIndex)
{
    GS::Guid guid;
    if (ReadAcceptedSelection(guid))
        ReplaceElement(guid, libraryIndex);
}

bool ReplaceConfiguredElementLibPart(const GS::Guid& configured, std::int32_t libraryIndex)
{
    GS::Guid selected;
    if (!ReadAcceptedSelection(selected) || selected != configured)
        return false;
    ReplaceElement(selected, libraryIndex);
    return true;
}

namespace {

void ReplaceElement(const GS::Guid& guid, std::int32_t libraryIndex)
{
    ElementRecord element;
    ZeroRecord(element);
    element.guid = guid;

    ElementMemo memo;
    if (HostApi_ReadElementMemo(guid, &memo, ReplacementMemoMask) != 0) {
        HostApi_FreeMemo(&memo);
        return;
    }
    if (memo.params == nullptr) {
        HostApi_FreeMemo(&memo);
        return;
    }
    bool product = false;
    const std::size_t count = ParamRecordCount(memo.params);
    for (std::size_t i = 0; i < count && !product; ++i)
        product = ParamNameIs(ParamRecordAt(memo.params, i), "tv_base_url");

    // Released once; the memo then holds no list until the defaults take its place.
    HostApi_FreeParamHandle(&memo.params);
    memo.params = nullptr;

    double a = 0;
    double b = 0;
    std::int32_t parameterCount = 0;
    GSHandle defaults = nullptr;
    if (HostApi_GetLibPartDefaults(libraryIndex, &a, &b, &parameterCount, &defaults) != 0) {
        HostApi_FreeParamHandle(&defaults);
        HostApi_FreeMemo(&memo);
        return;
    }
    memo.params = defaults;
    if (!product || HostApi_ReadElement(&element, nullptr) != 0) {
        HostApi_FreeMemo(&memo);
        return;
    }

    ElementRecord mask;
    ZeroRecord(mask);
    auto mark = [&](std::size_t offset) { reinterpret_cast<std::uint8_t*>(&mask)[offset] = 0xFF; };
    switch (element.elementType) {
    case ElemWindow:
    case ElemDoor:
        element.openingLibIndex = libraryIndex;
        mark(offsetof(ElementRecord, openingLibIndex));
        break;
    case ElemSkylight:
        element.openingLibIndex = libraryIndex;
        mark(offsetof(ElementRecord, openingLibIndex));
        element.a = a;
        mark(offsetof(ElementRecord, a));
        element.b = b;
        mark(offsetof(ElementRecord, b));
        break;
    case ElemObject:
    case ElemLamp:
        element.objectLibIndex = libraryIndex;
        mark(offsetof(ElementRecord, objectLibIndex));
        break;
    default:
        HostApi_FreeMemo(&memo);
        return;
    }

    const ModifyElementCommandLambda command{&element, &mask, &memo};
    GSErrCode commandResult = 0;
    const UndoableCommand undoable = [&] { return commandResult = command(); };
    const GSErrCode result = HostApi_RunAsUndoStep(GS::UniString(ModifyElementUndoName, GS::CC_Default), undoable);
    HostApi_FreeMemo(&memo);
    // The new part stays saved; the user learns why the element kept its old one.
    if (result != 0 || commandResult != 0)
        ReportReplacementFailure(result != 0 ? result : commandResult);
}

}  // namespace

}  // namespace tarvel
