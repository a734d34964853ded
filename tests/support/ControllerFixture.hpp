// Controllers inside the stand-in host, with the data folders made, short time limits
// and the standard catalogue served on a loopback server that is both the repository
// and the update server.
#pragma once

#include "CatalogueContent.hpp"
#include "TempDir.hpp"
#include "TransferFixture.hpp"
#include "transfer/ClipboardMessage.hpp"

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
    // Settings.xml with two active libraries: "windows-alu", which the repository
    // lists, and "gone", which it does not.
    static constexpr const char* kStoredLibraries =
        "<?xml version=\"1.0\"?>\n<Settings>\n"
        "\t<ActiveLibraries>\n"
        "\t\t<Library id=\"windows-alu\" name=\"Old name\" logo=\"old.png\" url=\"http://old/\" description=\"Old\" "
        "is_in_menu=\"false\" />\n"
        "\t\t<Library id=\"gone\" name=\"Gone\" logo=\"gone.png\" url=\"http://gone/\" description=\"Gone d\" />\n"
        "\t</ActiveLibraries>\n</Settings>\n";
    void WriteSettings(const std::string& text) const { WriteFile(SettingsPath(), text); }

    // A door product on the server: its CAD data (the table example), attributes and
    // data sheet, a semaphore that turns ready at the second ask and one that never
    // does, and the callback.
    void ServeDoorProduct()
    {
        Server().AddFile("/products/door/model.xml", ReadFile(boost::filesystem::path(TARVEL_EXAMPLES_DIR) / "table.xml"),
                         "application/xml");
        Server().AddFile("/products/door/attr.xml", "<attributes/>", "application/xml");
        Server().AddFile("/products/door/sheet.xml", kDoorSheet, "application/xml");
        Server().AddSemaphore("/products/door/ready", 2);
        Server().AddSemaphore("/products/door/never", 1000000);
        Server().AddCallback("/callback");
    }
    // The artifacts message of the door product from the given catalogue.
    std::string ProductJson(const std::string& catalogue, const std::string& semaphore = "/products/door/ready")
    {
        std::string json = "{\"CallbackUrl\":\"" + Server().Url("/callback") + "\",\"CatalogName\":\"" + catalogue +
                           "\",\"Artifacts\":[";
        const std::pair<const char*, std::string> artifacts[] = {{"SemaphoreFile", semaphore},
                                                                 {"CadFile", "/products/door/model.xml"},
                                                                 {"AttributeFile", "/products/door/attr.xml"},
                                                                 {"ProductDataSheet", "/products/door/sheet.xml"}};
        for (const auto& [type, path] : artifacts)
            json += std::string(json.back() == '[' ? "" : ",") + "{\"FileType\":\"" + type + "\",\"SourceUrl\":\"" +
                    Server().Url(path) + "\"}";
        return json + "]}";
    }
    // The clipboard text a catalogue page hands over.
    static std::string Message(const std::string& json) { return std::string(kMessageStart) + Base64Encode(json) + kMessageEnd; }

    static constexpr const char* kDoorSheet =
        "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
        "<ProductDataSheet target=\"ARCHICAD\"><AdditionalInformation>"
        "<Parameter id=\"archicad_productattr\" value=\"Classic Door\"/>"
        "<Parameter id=\"archicad_subtype_gid\" value=\"{11E85B84-8DD1-491B-A2FE-337454A91545}\"/>"
        "<Parameter id=\"catalog_productid\" value=\"D-1\"/>"
        "<Parameter id=\"archicad_hole_width\" value=\"900\"/>"
        "<Parameter id=\"archicad_hole_height\" value=\"2100\"/>"
        "</AdditionalInformation></ProductDataSheet>";

private:
    std::optional<CatalogueServer> server_;
    std::optional<ScopedDeployment> servers_;
};

}  // namespace tarvel::testing
