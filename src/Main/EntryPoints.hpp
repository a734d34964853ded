// The add-on as the host loads it: the two exports the host looks up in the library
// file, and the four entry points the first one hands over.
#pragma once

#include "GSRoot.hpp"
#include "HostInterface.hpp"

#include <cstdint>

extern "C" {
// Zeroes the host's 120-byte export table and writes the format word, the entry
// points and the interface level the add-on is built for.
void GetExportedFuncAddrs(void* exportTable);
// Copies the host's function table; every later host call goes through the copy.
GSErrCode SetImportedFuncAddrs(const void* functionTable);
}

// Before the function table is installed they do nothing: the environment check
// answers 0, the others HostInterface::ErrGeneral.
std::int32_t IdentifyAddOn(HostInterface::EnvironmentRecord* environment);
GSErrCode RegisterMenus();
GSErrCode StartAddOn();
GSErrCode StopAddOn();
