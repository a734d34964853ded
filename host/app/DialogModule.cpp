#include "standin/CoreModules.hpp"
#include "standin/Dialogs.hpp"

namespace standin {

DialogModule::DialogModule(Host& host)
{
    standin::dg::Start();
    try {
        standin::dg::AddResourceModule(ResourceModule::AddOnModule, host.Options().resourceDir);
    } catch (...) {
        standin::dg::Stop();
        throw;
    }
}

DialogModule::~DialogModule() { standin::dg::Stop(); }

}  // namespace standin
