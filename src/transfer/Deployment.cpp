#include "transfer/Deployment.hpp"

#include <mutex>

namespace tarvel {
namespace {

std::mutex& DeploymentMutex()
{
    static std::mutex mutex;
    return mutex;
}

Deployment& Current()
{
    static Deployment deployment;
    return deployment;
}

}  // namespace

Deployment CurrentDeployment()
{
    std::lock_guard lock(DeploymentMutex());
    return Current();
}

ScopedDeployment::ScopedDeployment(Deployment deployment)
{
    std::lock_guard lock(DeploymentMutex());
    previous_ = Current();
    Current() = std::move(deployment);
}

ScopedDeployment::~ScopedDeployment()
{
    std::lock_guard lock(DeploymentMutex());
    Current() = std::move(previous_);
}

}  // namespace tarvel
