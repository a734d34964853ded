#include "libparts/ToolDefaults.hpp"

#include "HostRecords.hpp"
#include "ostrel/interop/HostApi.hpp"

namespace tarvel {

using namespace HostInterface;

GSErrCode CallEnvironmentSTBX(std::int32_t elementType)
{
    ToolboxRecord tool;
    ZeroRecord(tool);
    tool.elementType = elementType;
    tool.variation = 0;
    return HostApi_SelectTool(&tool);
}

GSErrCode SelectWindowTool() { return CallEnvironmentSTBX(ElemWindow); }
GSErrCode SelectDoorTool() { return CallEnvironmentSTBX(ElemDoor); }
GSErrCode SelectObjectTool() { return CallEnvironmentSTBX(ElemObject); }
GSErrCode SelectSkylightTool() { return CallEnvironmentSTBX(ElemSkylight); }

void SetToolDefaultLibPart(std::int32_t elementType, std::int32_t libraryIndex)
{
    ElementRecord element;
    ZeroRecord(element);
    element.elementType = elementType;
    if (HostApi_ReadToolDefaults(&element, nullptr) != 0)
        return;
    double a = 0;
    double b = 0;
    std::int32_t count = 0;
    GSHandle parameters = nullptr;
    if (HostApi_GetLibPartDefaults(libraryIndex, &a, &b, &count, &parameters) != 0)
        return;
    // Only the sizes are used; the part's parameter list goes back to the host.
    HostApi_FreeParamHandle(&parameters);

    ElementRecord mask;
    ZeroRecord(mask);
    auto mark = [&](std::size_t offset) { reinterpret_cast<std::uint8_t*>(&mask)[offset] = 0xFF; };
    if (elementType == ElemObject) {
        element.objectLibIndex = libraryIndex;
        mark(offsetof(ElementRecord, objectLibIndex));
    } else {
        element.openingLibIndex = libraryIndex;
        mark(offsetof(ElementRecord, openingLibIndex));
    }
    element.a = a;
    mark(offsetof(ElementRecord, a));
    element.b = b;
    mark(offsetof(ElementRecord, b));
    HostApi_StoreToolDefaults(&element, nullptr, &mask);
}

}  // namespace tarvel
