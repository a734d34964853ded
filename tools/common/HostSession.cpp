#include "HostSession.hpp"

#include "ostrel/interop/HostApi.hpp"

namespace tarvel::tools {

HostSession::HostSession(standin::HostOptions options) : host_(std::make_unique<standin::Host>(std::move(options)))
{
    ostrel::ac::hostapi::InstallFunctionTable(host_->FunctionTableData());
}

HostSession::~HostSession()
{
    ostrel::ac::hostapi::UninstallFunctionTable();
    host_.reset();
}

}  // namespace tarvel::tools
