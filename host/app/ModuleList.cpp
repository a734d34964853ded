#include "standin/AddOn.hpp"
#include "standin/CoreModules.hpp"
#include "standin/Elements.hpp"
#include "standin/LibParts.hpp"

namespace standin {

// Every module of the stand-in host; a new family of operations adds one line.
std::vector<std::unique_ptr<HostModule>> CreateModules(Host& host)
{
    std::vector<std::unique_ptr<HostModule>> modules;
    modules.push_back(std::make_unique<ReportModule>(host));
    modules.push_back(std::make_unique<ResourceModule>(host));
    modules.push_back(std::make_unique<LocationModule>(host));
    modules.push_back(std::make_unique<LibPartModule>(host));
    modules.push_back(std::make_unique<ToolModule>(host));
    modules.push_back(std::make_unique<ElementModule>(host));
    modules.push_back(std::make_unique<RegistrationModule>(host));
    modules.push_back(std::make_unique<DialogModule>(host));
    return modules;
}

}  // namespace standin
