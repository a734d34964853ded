#include "CatalogueContent.hpp"

#include "standin/Base.hpp"

#include <json/value.h>
#include <json/writer.h>
#include <pugixml.hpp>
#include <zlib.h>

#include <cstdio>
#include <jpeglib.h>

#include <algorithm>
#include <cctype>
#include <atomic>
#include <fstream>
#include <memory>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string_view>

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

// Text for HTML or XML, in an attribute or between elements.
std::string Escape(const std::string& text)
{
    std::string out;
    for (char c : text) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        case '\'': out += "&#39;"; break;
        default: out += c;
        }
    }
    return out;
}

std::string ReadExample(const char* name)
{
    std::ifstream in(std::string(TARVEL_EXAMPLES_DIR) + "/" + name, std::ios::binary);
    if (!in)
        throw std::runtime_error(std::string("the example ") + name + " is missing");
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

// "http://127.0.0.1:PORT/catalogue/x/" gives "/catalogue/x/".
std::string PathOf(const std::string& url)
{
    const std::size_t scheme = url.find("://");
    const std::size_t path = url.find('/', scheme == std::string::npos ? 0 : scheme + 3);
    return path == std::string::npos ? "/" : url.substr(path);
}

std::string LibraryName(const RepositoryLibrary& library)
{
    auto english = library.names.find("en-GB");
    if (english != library.names.end())
        return english->second;
    return library.names.empty() ? library.id : library.names.begin()->second;
}

using Rows = std::vector<std::pair<std::string, std::string>>;

// Where one product's artifacts lie and what its page shows.
struct Offer {
    const RepositoryLibrary* library;
    CatalogueProduct product;
    Rows rows;
    std::string folder;         // path of the artifacts' folder, ending in "/"
    std::string catalogueHref;  // the catalogue page, from the product page
    // The configurator's answer: the CAD data with the rows' values. Otherwise the
    // product's own CAD data, byte for byte.
    bool configured = false;
};

// Serves the offer's artifacts and answers its page.
std::string ServeOffer(CatalogueServer& server, const Offer& offer, int semaphoreNotReady)
{
    const std::string libraryPath = PathOf(offer.library->baseUrl);
    server.AddSemaphore(offer.folder + "ready", semaphoreNotReady);
    server.AddFile(offer.folder + "model.xml",
                   offer.configured ? ConfiguredCadXml(offer.product.cadXml, offer.rows) : offer.product.cadXml,
                   "application/xml");
    server.AddFile(offer.folder + "attributes.xml", "<attributes product=\"" + Escape(offer.product.id) + "\"/>",
                   "application/xml");
    server.AddFile(offer.folder + "sheet.xml",
                   offer.product.dataSheet.empty() ? ProductDataSheetXml(offer.product) : offer.product.dataSheet,
                   "application/xml");

    Json::Value message(Json::objectValue);
    message["CallbackUrl"] = server.Url(libraryPath + "callback?product=" + offer.product.id);
    message["CatalogName"] = offer.library->id;
    Json::Value artifacts(Json::arrayValue);
    for (const auto& [type, file] : {std::pair<const char*, const char*>{"SemaphoreFile", "ready"},
                                     {"CadFile", "model.xml"},
                                     {"AttributeFile", "attributes.xml"},
                                     {"ProductDataSheet", "sheet.xml"}}) {
        Json::Value artifact(Json::objectValue);
        artifact["FileType"] = type;
        artifact["SourceUrl"] = server.Url(offer.folder + file);
        artifacts.append(artifact);
    }
    message["Artifacts"] = artifacts;
    Json::StreamWriterBuilder builder;
    builder["indentation"] = "";
    const std::string clipboard = CatalogueMessage(Json::writeString(builder, message));

    std::string page = "<!DOCTYPE html>\n<html>\n<head><meta charset=\"utf-8\"><title>" + Escape(offer.product.name) +
                       " - " + Escape(LibraryName(*offer.library)) + "</title></head>\n<body>\n<h1 id=\"product\">" +
                       Escape(offer.product.name) + "</h1>\n<p id=\"product-id\">" + Escape(offer.product.id) +
                       "</p>\n<table id=\"configuration\">\n";
    for (const auto& [name, value] : offer.rows)
        page += "<tr><td>" + Escape(name) + "</td><td>" + Escape(value) + "</td></tr>\n";
    page += "</table>\n<button id=\"add-to-project\" data-clipboard=\"" + Escape(clipboard) +
            "\" onclick=\"navigator.clipboard.writeText(this.dataset.clipboard)\">Add to project</button>\n"
            "<a id=\"catalogue\" href=\"" +
            Escape(offer.catalogueHref) + "\">Back to the catalogue</a>\n</body>\n</html>\n";
    return page;
}

// Whether the bytes are UTF-8 throughout (no overlong form, no surrogate, nothing
// beyond U+10FFFF) and, with `xmlCharacters`, every character is one XML 1.0 allows.
bool IsUtf8(const std::string& bytes, bool xmlCharacters)
{
    std::size_t i = 0;
    while (i < bytes.size()) {
        const auto lead = static_cast<unsigned char>(bytes[i]);
        std::uint32_t cp = 0;
        std::size_t length = 0;
        if (lead < 0x80) {
            cp = lead;
            length = 1;
        } else if (lead >= 0xC2 && lead <= 0xDF) {
            cp = lead & 0x1F;
            length = 2;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            cp = lead & 0x0F;
            length = 3;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            cp = lead & 0x07;
            length = 4;
        } else {
            return false;
        }
        if (i + length > bytes.size())
            return false;
        for (std::size_t k = 1; k < length; ++k) {
            const auto next = static_cast<unsigned char>(bytes[i + k]);
            if ((next & 0xC0) != 0x80)
                return false;
            cp = (cp << 6) | (next & 0x3F);
        }
        const std::uint32_t least[] = {0, 0, 0x80, 0x800, 0x10000};
        if (cp < least[length] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
            return false;
        if (xmlCharacters && ((cp < 0x20 && cp != 0x9 && cp != 0xA && cp != 0xD) || cp == 0xFFFE || cp == 0xFFFF))
            return false;
        i += length;
    }
    return true;
}

CatalogueServer::Answer Refusal(int status, const std::string& text)
{
    return CatalogueServer::Answer{status, "text/html; charset=utf-8",
                                   "<!DOCTYPE html>\n<html><head><title>" + Escape(text) + "</title></head><body><p id=\"error\">" +
                                       Escape(text) + "</p></body></html>\n"};
}

// tvHandler.aspx: the configurator's form in, the configured product's page out.
CatalogueServer::Answer Configure(CatalogueServer& server, const RepositoryLibrary& library,
                                  const std::vector<CatalogueProduct>& products, const RecordedRequest& request,
                                  int configuration, int semaphoreNotReady, const ConfiguratorChoice& choice)
{
    if (request.method != "POST")
        return Refusal(405, "The configurator takes a posted form");
    if (request.contentType.rfind("application/x-www-form-urlencoded", 0) != 0)
        return Refusal(415, "The configurator takes application/x-www-form-urlencoded forms");
    std::map<std::string, std::string> fields;
    for (auto& [name, value] : FormFields(request.body))
        fields.emplace(name, value);
    auto field = [&](const char* name) {
        auto it = fields.find(name);
        return it == fields.end() ? std::optional<std::string>() : std::optional<std::string>(it->second);
    };
    if (field("XMLEncoding") != "Base64" || !field("XmlContent"))
        return Refusal(400, "The configuration is missing");
    const std::optional<std::string> xml = base::Base64Decode(*field("XmlContent"));
    // The start options declare no encoding: they must be UTF-8, and well-formed.
    if (xml && !IsUtf8(*xml, true))
        return Refusal(400, "The configuration is not well-formed UTF-8");
    pugi::xml_document options;
    if (!xml || !options.load_buffer(xml->data(), xml->size(), pugi::parse_default, pugi::encoding_utf8) ||
        !options.select_node("/StartOptions/gui/part"))
        return Refusal(400, "The configuration cannot be read");
    auto product = std::find_if(products.begin(), products.end(),
                                [&](const CatalogueProduct& p) { return p.id == field("ArtikelNr"); });
    if (product == products.end())
        return Refusal(404, "Unknown product " + field("ArtikelNr").value_or(""));

    Offer offer{&library, *product, {}, PathOf(library.baseUrl) + "configured/" + std::to_string(configuration) + "/",
                "./", true};
    const pugi::xml_node part = options.select_node("/StartOptions/gui/part").node();
    for (const pugi::xpath_node& node : part.select_nodes("paramList/param"))
        offer.rows.emplace_back(node.node().attribute("name").value(), node.node().attribute("value").value());
    if (choice)
        choice(product->id, offer.rows);
    offer.product.group = field("pgid").value_or("");
    offer.product.culture = field("cul").value_or(product->culture);
    offer.product.section = field("mandant").value_or(product->section);
    if (*part.attribute("model").value() != '\0')
        offer.product.modelFile = part.attribute("model").value();
    return CatalogueServer::Answer{200, "text/html; charset=utf-8", ServeOffer(server, offer, semaphoreNotReady)};
}

void AddLibraryPages(CatalogueServer& server, const RepositoryLibrary& library,
                     const std::vector<CatalogueProduct>& products, int semaphoreNotReady,
                     const ConfiguratorChoice& choice)
{
    const std::string path = PathOf(library.baseUrl);
    std::string page = "<!DOCTYPE html>\n<html>\n<head><meta charset=\"utf-8\"><title>" + Escape(LibraryName(library)) +
                       "</title></head>\n<body>\n<h1>" + Escape(LibraryName(library)) + "</h1>\n<ul id=\"products\">\n";
    for (const CatalogueProduct& product : products) {
        page += "<li><a id=\"product-" + Escape(product.id) + "\" href=\"products/" + Escape(product.id) + ".html\">" +
                Escape(product.name) + "</a></li>\n";
        const Offer offer{&library, product, CadConfigurationRows(product.cadXml), path + "products/" + product.id + "/",
                          "../"};
        server.AddFile(path + "products/" + product.id + ".html", ServeOffer(server, offer, semaphoreNotReady),
                       "text/html; charset=utf-8");
    }
    page += "</ul>\n</body>\n</html>\n";
    server.AddFile(path, page, "text/html; charset=utf-8");
    server.AddCallback(path + "callback");
    auto configurations = std::make_shared<std::atomic<int>>(0);
    server.AddHandler(path + "tvHandler.aspx", [&server, library, products, configurations, semaphoreNotReady,
                                                choice](const RecordedRequest& request) {
        return Configure(server, library, products, request, ++*configurations, semaphoreNotReady, choice);
    });
}

// The encoding named by the XML declaration at the start of 8-bit bytes (after a
// UTF-8 byte-order mark), lower-cased; empty when there is none.
std::string DeclaredEncoding(const std::string& bytes)
{
    const std::size_t start = bytes.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
    if (bytes.compare(start, 5, "<?xml") != 0 || start + 5 >= bytes.size() ||
        std::string_view(" \t\r\n").find(bytes[start + 5]) == std::string_view::npos)
        return {};
    const std::size_t close = bytes.find("?>", start);
    const std::string declaration = bytes.substr(start, close == std::string::npos ? 0 : close - start);
    std::size_t at = declaration.find("encoding");
    if (at == std::string::npos)
        return {};
    at = declaration.find_first_not_of(" \t\r\n", at + 8);
    if (at == std::string::npos || declaration[at] != '=')
        return {};
    at = declaration.find_first_not_of(" \t\r\n", at + 1);
    if (at == std::string::npos || (declaration[at] != '"' && declaration[at] != '\''))
        return {};
    const std::size_t end = declaration.find(declaration[at], at + 1);
    if (end == std::string::npos)
        return {};
    std::string name = declaration.substr(at + 1, end - at - 1);
    std::transform(name.begin(), name.end(), name.begin(),
                   [](unsigned char c) { return static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c); });
    return name;
}

bool NamesLatin1(const std::string& name)
{
    for (const char* alias : {"iso-8859-1", "iso8859-1", "iso_8859-1", "iso_8859-1:1987", "latin1", "latin-1", "l1",
                              "iso-ir-100", "csisolatin1", "ibm819", "cp819"})
        if (name == alias)
            return true;
    return false;
}

// Whether UTF-16 bytes after their byte-order mark hold whole units and no lone surrogate.
bool IsWholeUtf16(const std::string& bytes, bool littleEndian)
{
    if (bytes.size() % 2 != 0)
        return false;
    const auto unit = [&](std::size_t i) {
        const auto first = static_cast<unsigned char>(bytes[2 * i]);
        const auto second = static_cast<unsigned char>(bytes[2 * i + 1]);
        return littleEndian ? (second << 8 | first) : (first << 8 | second);
    };
    const std::size_t units = bytes.size() / 2;
    for (std::size_t i = 1; i < units; ++i) {
        const int u = unit(i);
        if (u >= 0xD800 && u <= 0xDBFF) {
            if (i + 1 >= units || unit(i + 1) < 0xDC00 || unit(i + 1) > 0xDFFF)
                return false;
            ++i;
        } else if (u >= 0xDC00 && u <= 0xDFFF) {
            return false;
        }
    }
    return true;
}

// Whether the text begins as UTF-16 without a byte-order mark does: two ASCII
// characters, each with a 0 byte beside it. No UTF-8 XML begins so.
bool LooksLikeUtf16(const std::string& bytes)
{
    if (bytes.size() < 4)
        return false;
    const auto ascii = [&bytes](std::size_t i) {
        return bytes[i] != '\0' && static_cast<unsigned char>(bytes[i]) < 0x80;
    };
    return (ascii(0) && bytes[1] == '\0' && ascii(2) && bytes[3] == '\0') ||
           (bytes[0] == '\0' && ascii(1) && bytes[2] == '\0' && ascii(3));
}

// Reads a data sheet as the add-on reads one: UTF-16 only after its byte-order mark;
// otherwise UTF-8, or Latin-1 where the declaration names it (without a UTF-8
// byte-order mark) or where the bytes are no UTF-8. Answers what keeps it from being
// read, in words; empty when it was read.
std::string ReadDataSheet(const std::string& bytes, pugi::xml_document& document)
{
    pugi::xml_encoding encoding = pugi::encoding_utf8;
    if (bytes.compare(0, 2, "\xFF\xFE") == 0 || bytes.compare(0, 2, "\xFE\xFF") == 0) {
        const bool little = bytes[0] == '\xFF';
        if (!IsWholeUtf16(bytes, little))
            return "it is UTF-16 cut off within a character or with a lone surrogate";
        encoding = little ? pugi::encoding_utf16_le : pugi::encoding_utf16_be;
    } else if (LooksLikeUtf16(bytes)) {
        return "it is UTF-16 without a byte-order mark, which is read as UTF-8; save it with a byte-order mark, "
               "or as UTF-8";
    } else if ((bytes.compare(0, 3, "\xEF\xBB\xBF") != 0 && NamesLatin1(DeclaredEncoding(bytes))) ||
               !IsUtf8(bytes, false)) {
        encoding = pugi::encoding_latin1;
    }
    const pugi::xml_parse_result parsed =
        document.load_buffer(bytes.data(), bytes.size(), pugi::parse_default, encoding);
    if (!parsed)
        return std::string("it is no well-formed XML (") + parsed.description() + " at byte " +
               std::to_string(parsed.offset) + ")";
    return {};
}

}  // namespace

std::string ProductDataSheetXml(const CatalogueProduct& product)
{
    std::string xml = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<ProductDataSheet target=\"ARCHICAD\">\n"
                      "  <AdditionalInformation>\n";
    auto parameter = [&](const char* id, const std::string& value) {
        xml += "    <Parameter id=\"" + std::string(id) + "\" value=\"" + Escape(value) + "\"/>\n";
    };
    parameter("archicad_productattr", product.name);
    if (!product.subtypeGid.empty())
        parameter("archicad_subtype_gid", product.subtypeGid);
    parameter("catalog_productid", product.id);
    parameter("catalog_productgroup", product.group);
    parameter("catalog_modelfile", product.modelFile);
    parameter("catalog_section", product.section);
    parameter("catalog_culture", product.culture);
    if (product.holeWidth > 0) {
        parameter("archicad_hole_width", std::to_string(static_cast<int>(product.holeWidth)));
        parameter("archicad_hole_height", std::to_string(static_cast<int>(product.holeHeight)));
    }
    xml += "  </AdditionalInformation>\n  <ParameterGroups>\n    <ParamGroup id=\"general\" name=\"General\">\n"
           "      <Parameter id=\"tv_product_group\" name=\"Product group\" value=\"" +
           Escape(product.group) + "\"/>\n    </ParamGroup>\n  </ParameterGroups>\n</ProductDataSheet>\n";
    return xml;
}

std::string CatalogueMessage(const std::string& artifactsJson)
{
    return "-----START ARCHICAD-----" + base::Base64Encode(artifactsJson) + "-----END ARCHICAD-----";
}

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
    const char* doorGid = "{11E85B84-8DD1-491B-A2FE-337454A91545}";
    const char* windowGid = "{4ABD0A6E-634B-4931-B3AA-9BEE01F35CDF}";
    const char* skylightGid = "{0E0831DD-3766-4A60-BBE7-19A9537F76E3}";
    const std::string door = ReadExample("door.xml");
    const std::string cabinet = ReadExample("cabinet.xml");
    const std::string window = ReadExample("window.xml");
    catalogue.products = {
        {"doors-classic",
         {{"D-1", "Classic Door", "Doors", doorGid, "classic-door.tvm", "en-GB", "12", 900, 2100, door, ""},
          {"D-2", "Double Door", "Doors", doorGid, "double-door.tvm", "en-GB", "12", 1600, 2100, door, ""},
          {"C-1", "Hall Cabinet", "Furniture", "", "hall-cabinet.tvm", "en-GB", "12", 0, 0, cabinet, ""}}},
        {"doors-cad", {{"A-1", "Drawing Door", "Doors", doorGid, "drawing-door.tvm", "en-GB", "", 900, 2100, door, ""}}},
        {"windows-alu", {{"W-1", "Alu Window", "Windows", windowGid, "alu-window.tvm", "de-DE", "3", 1200, 1400, window, ""}}},
        {"skylights", {{"S-1", "Roof Light", "Skylights", skylightGid, "roof-light.tvm", "de-DE", "3", 780, 980, window, ""}}},
        {"nordic-doors", {{"N-1", "Nordic Door", "Doors", doorGid, "nordic-door.tvm", "sv-SE", "7", 900, 2100, door, ""}}},
    };
    catalogue.changelogVersions = {"1.27", "1.29"};
    catalogue.installer = std::string("MZ\x90\x00", 4) + "stand-in installer of the add-on, version 1.29";
    return catalogue;
}

std::string UseOwnArtifacts(StandardCatalogue& catalogue, const std::string& libraryId, const std::string& productId,
                            const std::string& cadXml, const std::string& dataSheet)
{
    auto library = catalogue.products.find(libraryId);
    if (library == catalogue.products.end())
        throw std::invalid_argument("the catalogue has no library " + libraryId);
    auto product = std::find_if(library->second.begin(), library->second.end(),
                                [&](const CatalogueProduct& p) { return p.id == productId; });
    if (product == library->second.end())
        throw std::invalid_argument("the library " + libraryId + " has no product " + productId);
    if (!cadXml.empty())
        product->cadXml = cadXml;
    if (!dataSheet.empty()) {
        product->dataSheet = dataSheet;
        // Its page and its catalogue entry show the product's own name.
        if (const std::string name = DataSheetValue(dataSheet, "archicad_productattr"); !name.empty())
            product->name = name;
        {
            const std::string id = DataSheetValue(dataSheet, "catalog_productid");
            if (!id.empty() && id != product->id) {
                // The user's product takes the place of one that had its id.
                auto& products = library->second;
                std::erase_if(products, [&](const CatalogueProduct& p) { return p.id == id; });
                product = std::find_if(products.begin(), products.end(),
                                       [&](const CatalogueProduct& p) { return p.id == productId; });
                product->id = id;
            }
        }
    }
    return product->id;
}

std::string DataSheetValue(const std::string& dataSheet, const std::string& id)
{
    pugi::xml_document document;
    if (!ReadDataSheet(dataSheet, document).empty())
        return {};
    for (const pugi::xml_node parameter : document.child("ProductDataSheet").child("AdditionalInformation").children("Parameter"))
        if (id == parameter.attribute("id").value())
            return parameter.attribute("value").value();
    return {};
}

std::string DataSheetProblem(const std::string& dataSheet)
{
    pugi::xml_document document;
    if (std::string problem = ReadDataSheet(dataSheet, document); !problem.empty())
        return problem;
    const pugi::xml_node root = document.document_element();
    if (std::string_view(root.name()) != "ProductDataSheet")
        return "its root element is <" + std::string(root.name()) + ">, not <ProductDataSheet>";
    if (std::string_view(root.attribute("target").value()) != "ARCHICAD")
        return "its <ProductDataSheet> has the target \"" + std::string(root.attribute("target").value()) +
               "\", not \"ARCHICAD\"";
    return {};
}

std::string AddOwnLibrary(StandardCatalogue& catalogue, const CatalogueServer& server, const std::string& name)
{
    // Named for the product, but never like another library: the user finds it by name.
    std::string shown = name.empty() ? std::string("Your product") : name;
    const auto taken = [&catalogue](const std::string& text) {
        for (const auto* customers : {&catalogue.customers, &catalogue.nordicCustomers})
            for (const RepositoryCustomer& customer : *customers)
                for (const RepositoryLibrary& library : customer.libraries)
                    for (const auto& [culture, libraryName] : library.names)
                        if (libraryName == text)
                            return true;
        return false;
    };
    for (int n = 2; taken(shown); ++n)
        shown = (name.empty() ? std::string("Your product") : name) + " (" + std::to_string(n) + ")";
    const std::string id = "own-product";
    RepositoryLibrary library{id, {{"en-GB", shown}}, {{"en-GB", "Your own files"}}, server.Url("/catalogue/" + id + "/"),
                              "", {"archicad"}};
    catalogue.customers.insert(catalogue.customers.begin(), RepositoryCustomer{"Your own files", {library}});
    catalogue.products[id];
    return id;
}

std::string AddOwnObject(StandardCatalogue& catalogue, const std::string& libraryId, const std::string& name,
                         const std::string& cadXml)
{
    auto library = catalogue.products.find(libraryId);
    if (library == catalogue.products.end())
        throw std::invalid_argument("the catalogue has no library " + libraryId);
    CatalogueProduct object{"CAD-1", name, "Objects", "", "own-object.tvm", "en-GB", "12", 0, 0, cadXml, ""};
    std::erase_if(library->second, [&](const CatalogueProduct& p) { return p.id == object.id; });
    library->second.push_back(object);
    return object.id;
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
    for (const auto* customers : {&catalogue.customers, &catalogue.nordicCustomers})
        for (const RepositoryCustomer& customer : *customers)
            for (const RepositoryLibrary& library : customer.libraries) {
                auto products = catalogue.products.find(library.id);
                AddLibraryPages(server, library,
                                products == catalogue.products.end() ? std::vector<CatalogueProduct>{}
                                                                     : products->second,
                                catalogue.semaphoreNotReady, catalogue.configuratorChoice);
            }
}

void AddStandardCatalogue(CatalogueServer& server) { AddCatalogue(server, MakeStandardCatalogue(server)); }

}  // namespace standin::services
