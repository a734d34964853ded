#include "standin/CoreModules.hpp"

namespace standin {

// Every module of the stand-in host; a new family of operations adds one line.
std::vector<std::unique_ptr<HostModule>> CreateModules(Host& host)
{
    std::vector<std::unique_ptr<HostModule>> modules;
    modules.push_back(std::make_unique<ReportModule>(host));
    modules.push_back(std::make_unique<ResourceModule>(host));
    modules.push_back(std::make_unique<LocationModule>(host));
    return modules;
}

}  // namespace standin
