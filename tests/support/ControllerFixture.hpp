// Controllers inside the stand-in host, with the data folders made, short time limits
// and the standard catalogue served on a loopback server that is both the repository
// and the update server.
#pragma once

#include "CatalogueContent.hpp"
#include "TempDir.hpp"
#include "TransferFixture.hpp"

#include <pugixml.hpp>

#include <optional>
#include <string>

namespace tarvel::testing {

using standin::services::StandardCatalogue;

class ControllerFixture : public TransferFixture {
protected:
    void SetUp() override
    {
        TransferFixture::SetUp();
        server_.emplace();
        standin::services::AddStandardCatalogue(*server_);
        UseServers(server_->Url(""), server_->Url(""));
    }
    void TearDown() override
    {
        servers_.reset();
        TransferFixture::TearDown();
        server_.reset();
    }

    // The repository and update servers in force (base URLs).
    void UseServers(const std::string& repository, const std::string& update)
    {
        servers_.reset();
        Deployment deployment = CurrentDeployment();
        deployment.repositoryServer = repository;
        deployment.updateServer = update;
        servers_.emplace(deployment);
    }

    CatalogueServer& Server() { return *server_; }
    StandardCatalogue Catalogue() { return standin::services::MakeStandardCatalogue(*server_); }

    boost::filesystem::path DataRoot() const { return SpecialFolder() / "Tarvel" / "daVED" / "ArchiCAD"; }
    boost::filesystem::path SettingsPath() const { return DataRoot() / "Settings.xml"; }
    boost::filesystem::path ImagesFolder() const { return DataRoot() / "Images"; }
    std::string SettingsText() const { return ReadFile(SettingsPath()); }
    void WriteSettings(const std::string& text) const { WriteFile(SettingsPath(), text); }

private:
    std::optional<CatalogueServer> server_;
    std::optional<ScopedDeployment> servers_;
};

}  // namespace tarvel::testing
