#include "transfer/Artifacts.hpp"

#include "transfer/Http.hpp"

#include <json/reader.h>
#include <json/value.h>

namespace tarvel {
namespace {

bool IsAcceptedType(const std::string& type)
{
    return type == kCadFile || type == kAttributeFile || type == kProductDataSheet || type == kSemaphoreFile;
}

}  // namespace

bool ParseArtifactsMessage(const std::string& json, CatalogueArtifacts& artifacts, std::string& catalogName)
{
    catalogName.clear();
    Json::Value root;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    Json::Reader reader;
#pragma GCC diagnostic pop
    // The root as far as it was read decides, not the parser's verdict: a message cut
    // off after its first artifacts still names them.
    reader.parse(json.data(), json.data() + json.size(), root);
    if (!root.isObject())
        return false;

    const Json::Value& callback = root.get("CallbackUrl", Json::Value::null);
    if (callback.isString() && !callback.asString().empty()) {
        if (!IsHttpUrl(callback.asString()))
            return false;
        std::string ignored;
        HttpGetToString(callback.asString().c_str(), ignored);
    }
    const Json::Value& catalog = root.get("CatalogName", Json::Value::null);
    if (catalog.isString())
        catalogName = catalog.asString();

    const Json::Value& list = root.get("Artifacts", Json::Value::null);
    if (!list.isArray() || list.size() > kMaxArtifacts)
        return false;
    artifacts.fileTypes.clear();
    artifacts.sourceUrls.clear();
    artifacts.localPaths.clear();
    for (Json::ArrayIndex i = 0; i < list.size(); ++i) {
        const Json::Value& element = list[i];
        if (!element.isObject())
            return false;
        const Json::Value& type = element.get("FileType", Json::Value::null);
        const Json::Value& url = element.get("SourceUrl", Json::Value::null);
        if (!type.isString() || !url.isString() || !IsAcceptedType(type.asString()))
            continue;
        if (!IsHttpUrl(url.asString()))
            return false;
        artifacts.fileTypes.push_back(type.asString());
        artifacts.sourceUrls.push_back(url.asString());
        artifacts.localPaths.emplace_back();
    }
    return true;
}

}  // namespace tarvel
