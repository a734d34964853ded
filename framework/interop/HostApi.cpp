#include "ostrel/interop/HostApi.hpp"

#include <array>
#include <cstring>

namespace {

// The add-on's own copy of the host's table. Written once at load, before any
// thread of the add-on runs; read-only afterwards.
std::array<HostInterface::Entry, HostInterface::FunctionTableEntries> table{};
bool installed = false;

}  // namespace

namespace ostrel::ac::hostapi {

void InstallFunctionTable(const void* hostTable)
{
    std::memcpy(table.data(), hostTable, HostInterface::FunctionTableBytes);
    installed = true;
}

void UninstallFunctionTable()
{
    table.fill(nullptr);
    installed = false;
}

bool IsInstalled() { return installed; }

HostInterface::Entry EntryAt(HostInterface::Slot slot)
{
    return installed ? table[HostInterface::SlotIndex(slot)] : nullptr;
}

}  // namespace ostrel::ac::hostapi
