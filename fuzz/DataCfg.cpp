// data.cfg beside the add-on file.
#include "FuzzSupport.hpp"

#include "transfer/DataCfg.hpp"

#include <sstream>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::istringstream in(std::string(reinterpret_cast<const char*>(data), size));
    tarvel::ConfigEntries entries;
    tarvel::ReadDataCfg(in, entries);
    (void)tarvel::GetConfigValue(entries, "AdminMode", "no");
    (void)tarvel::GetConfigValue(entries, "profile", "");
    return 0;
}
