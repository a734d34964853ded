#include "Main/EntryPoints.hpp"

#include "ostrel/interop/HostApi.hpp"

#include <cstring>

namespace {

template <typename T>
void Put(unsigned char* table, std::size_t offset, T value)
{
    std::memcpy(table + offset, &value, sizeof value);
}

bool Installed() { return ostrel::ac::hostapi::IsInstalled(); }

}  // namespace

extern "C" void GetExportedFuncAddrs(void* exportTable)
{
    using namespace HostInterface;
    auto* table = static_cast<unsigned char*>(exportTable);
    std::memset(table, 0, ExportTableBytes);
    Put(table, ExportFormatOffset, ExportFormatWord);
    Put<IdentifyAddOnFn>(table, ExportIdentifyOffset, &IdentifyAddOn);
    Put<RegisterMenusFn>(table, ExportRegisterOffset, &RegisterMenus);
    Put<StartAddOnFn>(table, ExportStartOffset, &StartAddOn);
    Put<StopAddOnFn>(table, ExportStopOffset, &StopAddOn);
    Put(table, ExportLevelOffset, ApiLevel);
}

extern "C" GSErrCode SetImportedFuncAddrs(const void* functionTable)
{
    ostrel::ac::hostapi::InstallFunctionTable(functionTable);
    return 0;
}

// The shell's work comes into the entry points after their guards.

std::int32_t IdentifyAddOn(HostInterface::EnvironmentRecord* environment)
{
    if (!Installed())
        return 0;
    // Until the shell checks the environment, the add-on declines to run.
    return 0;
}

GSErrCode RegisterMenus()
{
    if (!Installed())
        return HostInterface::ErrGeneral;
    return 0;
}

GSErrCode StartAddOn()
{
    if (!Installed())
        return HostInterface::ErrGeneral;
    return 0;
}

GSErrCode StopAddOn()
{
    if (!Installed())
        return HostInterface::ErrGeneral;
    return 0;
}
