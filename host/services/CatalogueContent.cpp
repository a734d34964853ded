#include "CatalogueContent.hpp"

#include <json/value.h>
#include <json/writer.h>
#include <zlib.h>

#include <cstdio>
#include <jpeglib.h>

#include <stdexcept>

namespace standin::services {
namespace {

void AppendBigEndian(std::string& out, std::uint32_t value)
{
    for (int shift = 24; shift >= 0; shift -= 8)
        out.push_back(static_cast<char>((value >> shift) & 0xFF));
}

void AppendChunk(std::string& png, const char* type, const std::string& data)
{
    AppendBigEndian(png, static_cast<std::uint32_t>(data.size()));
    const std::string typed = std::string(type, 4) + data;
    png += typed;
    AppendBigEndian(png, static_cast<std::uint32_t>(
                             crc32(0, reinterpret_cast<const Bytef*>(typed.data()), static_cast<uInt>(typed.size()))));
}

std::string WriteJson(const Json::Value& value)
{
    Json::StreamWriterBuilder builder;
    builder["indentation"] = "  ";
    builder["emitUTF8"] = true;
    return Json::writeString(builder, value);
}

Json::Value Texts(const std::map<std::string, std::string>& byCulture)
{
    Json::Value texts(Json::objectValue);
    for (const auto& [culture, text] : byCulture)
        texts[culture] = text;
    return texts;
}

}  // namespace

std::string MakePng(int width, int height, std::uint32_t rgb)
{
    std::string raw;
    for (int y = 0; y < height; ++y) {
        raw.push_back(0);  // no filter
        for (int x = 0; x < width; ++x) {
            raw.push_back(static_cast<char>((rgb >> 16) & 0xFF));
            raw.push_back(static_cast<char>((rgb >> 8) & 0xFF));
            raw.push_back(static_cast<char>(rgb & 0xFF));
        }
    }
    uLongf size = compressBound(static_cast<uLong>(raw.size()));
    std::string packed(size, '\0');
    if (compress(reinterpret_cast<Bytef*>(packed.data()), &size, reinterpret_cast<const Bytef*>(raw.data()),
                 static_cast<uLong>(raw.size())) != Z_OK)
        throw std::runtime_error("cannot compress a test picture");
    packed.resize(size);

    std::string header;
    AppendBigEndian(header, static_cast<std::uint32_t>(width));
    AppendBigEndian(header, static_cast<std::uint32_t>(height));
    header += std::string("\x08\x02\x00\x00\x00", 5);  // 8 bits, RGB, deflate, no filter, no interlace
    std::string png("\x89PNG\r\n\x1a\n", 8);
    AppendChunk(png, "IHDR", header);
    AppendChunk(png, "IDAT", packed);
    AppendChunk(png, "IEND", "");
    return png;
}

std::string MakeJpeg(int width, int height, std::uint32_t rgb)
{
    jpeg_compress_struct info{};
    jpeg_error_mgr errors{};
    info.err = jpeg_std_error(&errors);
    jpeg_create_compress(&info);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&info, &buffer, &size);
    info.image_width = static_cast<JDIMENSION>(width);
    info.image_height = static_cast<JDIMENSION>(height);
    info.input_components = 3;
    info.in_color_space = JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, 90, TRUE);
    jpeg_start_compress(&info, TRUE);
    std::string row;
    for (int x = 0; x < width; ++x) {
        row.push_back(static_cast<char>((rgb >> 16) & 0xFF));
        row.push_back(static_cast<char>((rgb >> 8) & 0xFF));
        row.push_back(static_cast<char>(rgb & 0xFF));
    }
    while (info.next_scanline < info.image_height) {
        JSAMPROW rows[1] = {reinterpret_cast<JSAMPROW>(row.data())};
        jpeg_write_scanlines(&info, rows, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    std::string jpeg(reinterpret_cast<const char*>(buffer), size);
    std::free(buffer);
    return jpeg;
}

std::string RepositoryJson(const std::vector<RepositoryCustomer>& customers)
{
    Json::Value list(Json::arrayValue);
    for (const RepositoryCustomer& customer : customers) {
        Json::Value entry(Json::objectValue);
        entry["name"] = customer.name;
        Json::Value libraries(Json::arrayValue);
        for (const RepositoryLibrary& library : customer.libraries) {
            Json::Value item(Json::objectValue);
            item["id"] = library.id;
            item["name"] = Texts(library.names);
            item["description"] = Texts(library.descriptions);
            item["baseurl"] = library.baseUrl;
            if (!library.logo.empty())
                item["logo"] = library.logo;
            Json::Value targets(Json::arrayValue);
            for (const std::string& target : library.targets)
                targets.append(target);
            item["target_systems"] = targets;
            libraries.append(item);
        }
        entry["libraries"] = libraries;
        list.append(entry);
    }
    Json::Value root(Json::objectValue);
    root["repository"]["customers"] = list;
    return WriteJson(root);
}

std::string ProfilesJson(const std::vector<std::pair<std::string, std::string>>& idAndRepository)
{
    Json::Value profiles(Json::arrayValue);
    for (const auto& [id, repository] : idAndRepository) {
        Json::Value profile(Json::objectValue);
        profile["id"] = id;
        profile["repository"] = repository;
        profiles.append(profile);
    }
    Json::Value root(Json::objectValue);
    root["storage"]["profiles"] = profiles;
    return WriteJson(root);
}

std::string ChangelogXml(const std::vector<std::string>& versions)
{
    std::string xml = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<changelog>\n  <data>\n";
    for (const std::string& version : versions)
        xml += "    <changeset>\n      <metaset>\n        <meta name=\"product_version\">" + version +
               "</meta>\n        <meta name=\"download_url\">https://update.example/api/update?name=VOV.ERIDARAD.Edazar"
               "</meta>\n      </metaset>\n      <changes>Version " +
               version + "</changes>\n    </changeset>\n";
    return xml + "  </data>\n</changelog>\n";
}

StandardCatalogue MakeStandardCatalogue(const CatalogueServer& server)
{
    StandardCatalogue catalogue;
    catalogue.profiles = {{"TARVEL", server.Url(kRepositoryPath)}, {"NORDIC", server.Url("/repository/nordic.json")}};
    catalogue.customers = {
        {"Doorworks",
         {{"doors-classic",
           {{"en-GB", "Classic Doors"}, {"de-DE", "Klassische T\xc3\xbcren"}, {"fr-FR", "Portes classiques"}},
           {{"en-GB", "Wooden doors"}, {"de-DE", "Holzt\xc3\xbcren"}, {"fr-FR", "Portes en bois"}},
           server.Url("/catalogue/doors-classic/"),
           server.Url("/logos/doors-classic.png"),
           {"revit", "archicad"}},
          {"doors-cad",
           {{"en-GB", "Doors for another system"}},
           {},
           server.Url("/catalogue/doors-cad/"),
           "",
           {"autocad"}}}},
        {"Glassline",
         {{"windows-alu",
           {{"en-GB", "Aluminium Windows"}, {"de-DE", "Aluminiumfenster"}},
           {{"en-GB", "Windows and frames"}, {"de-DE", "Fenster und Rahmen"}},
           server.Url("/catalogue/windows-alu/"),
           server.Url("/logos/windows-alu.jpg"),
           {"archicad"}},
          {"skylights",
           {{"de-DE", "Dachfenster"}},
           {{"de-DE", "Dachfenster aller Art"}},
           server.Url("/catalogue/skylights/"),
           server.Url("/logos/skylights.png"),
           {"archicad"}}}},
    };
    catalogue.nordicCustomers = {
        {"Nordwood",
         {{"nordic-doors",
           {{"en-GB", "Nordic Doors"}, {"sv-SE", "Nordiska d\xc3\xb6rrar"}},
           {{"en-GB", "Doors of the north"}},
           server.Url("/catalogue/nordic-doors/"),
           server.Url("/logos/nordic-doors.jpg"),
           {"archicad"}}}},
    };
    catalogue.logos = {
        {"/logos/doors-classic.png", MakePng(48, 34, 0x8B5A2B)},
        {"/logos/windows-alu.jpg", MakeJpeg(48, 34, 0x4682B4)},
        {"/logos/skylights.png", MakePng(48, 34, 0xFFD700)},
        {"/logos/nordic-doors.jpg", MakeJpeg(48, 34, 0x2E8B57)},
    };
    catalogue.changelogVersions = {"1.27", "1.29"};
    catalogue.installer = std::string("MZ\x90\x00", 4) + "stand-in installer of the add-on, version 1.29";
    return catalogue;
}

void AddCatalogue(CatalogueServer& server, const StandardCatalogue& catalogue)
{
    server.AddFile(kProfilesPath, ProfilesJson(catalogue.profiles), "application/json");
    server.AddFile(kRepositoryPath, RepositoryJson(catalogue.customers), "application/json");
    server.AddFile("/repository/nordic.json", RepositoryJson(catalogue.nordicCustomers), "application/json");
    for (const auto& [path, bytes] : catalogue.logos)
        server.AddFile(path, bytes, path.ends_with(".png") ? "image/png" : "image/jpeg");
    server.AddFile(kChangelogPath, ChangelogXml(catalogue.changelogVersions), "application/xml");
    server.AddFile(kInstallerPath, catalogue.installer, "application/octet-stream");
}

void AddStandardCatalogue(CatalogueServer& server) { AddCatalogue(server, MakeStandardCatalogue(server)); }

}  // namespace standin::services
