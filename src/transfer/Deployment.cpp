#include "transfer/Deployment.hpp"

#include <cstdlib>
#include <mutex>

namespace tarvel {
namespace {

std::mutex& DeploymentMutex()
{
    static std::mutex mutex;
    return mutex;
}

void Override(std::string& value, const char* variable)
{
    if (const char* text = std::getenv(variable); text != nullptr && *text != '\0')
        value = text;
}

Deployment FromEnvironment()
{
    Deployment deployment;
    Override(deployment.repositoryServer, "TARVEL_REPOSITORY_SERVER");
    Override(deployment.updateServer, "TARVEL_UPDATE_SERVER");
    Override(deployment.installerServer, "TARVEL_INSTALLER_SERVER");
    Override(deployment.supportSite, "TARVEL_SUPPORT_SITE");
    return deployment;
}

Deployment& Current()
{
    static Deployment deployment = FromEnvironment();
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
