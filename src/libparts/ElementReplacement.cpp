#include "libparts/ElementReplacement.hpp"

#include "libparts/ConfiguratorParams.hpp"
#include "ostrel/interop/HostApi.hpp"

namespace tarvel {

using namespace HostInterface;

std::int32_t ModifyElementCommandLambda::operator()() const
{
    return HostApi_ModifyElement(element, mask, memo, MemoParameters, true);
}

void ReplaceSelectedElementLibPart(std::int32_t libraryIndex)
{
    GS::Guid guid;
    if (!ReadAcceptedSelection(guid))
        return;
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
    const UndoableCommand undoable = command;
    HostApi_RunAsUndoStep(GS::UniString(ModifyElementUndoName, GS::CC_Default), undoable);
    HostApi_FreeMemo(&memo);
}

}  // namespace tarvel
