#include "IO.hpp"
#include "standin/CoreModules.hpp"

namespace standin {
namespace {

GSErrCode AddOnFileLocation(IO::Location* location)
{
    const std::string file = Host::Current().Module<LocationModule>().AddOnFile();
    if (file.empty() || location == nullptr)
        return HostInterface::ErrNoAddOnLocation;
    return location->Set(file.c_str());
}

}  // namespace

LocationModule::LocationModule(Host& host) : addOnFile_(host.Options().addOnFile) {}

void LocationModule::Install(FunctionTable& table)
{
    table.Provide<HostInterface::Slot::AddOnFileLocation, &AddOnFileLocation>();
}

void LocationModule::SetAddOnFile(const std::string& path)
{
    std::lock_guard lock(mutex_);
    addOnFile_ = path;
}

std::string LocationModule::AddOnFile() const
{
    std::lock_guard lock(mutex_);
    return addOnFile_;
}

}  // namespace standin
