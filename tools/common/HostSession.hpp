// Runs the stand-in host for the add-on's code linked into one program (the tools
// and the tests): starts the host and hands its function table to the add-on.
#pragma once

#include "standin/CoreModules.hpp"
#include "standin/Host.hpp"

#include <memory>

namespace tarvel::tools {

class HostSession {
public:
    explicit HostSession(standin::HostOptions options = {});
    ~HostSession();
    HostSession(const HostSession&) = delete;
    HostSession& operator=(const HostSession&) = delete;

    standin::Host& Host() { return *host_; }
    standin::ReportModule& Report() { return host_->Module<standin::ReportModule>(); }

private:
    std::unique_ptr<standin::Host> host_;
};

}  // namespace tarvel::tools
