#include "transfer/Artifacts.hpp"

#include "transfer/Http.hpp"
#include "transfer/Json.hpp"

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
    // The root as far as it was read decides, not the parser's verdict: a message cut
    // off after its first artifacts still names them.
    ParseJson(json, root);
    if (!root.isObject())
        return false;

    if (const auto callback = JsonString(root, "CallbackUrl"); callback && !callback->empty()) {
        if (!IsHttpUrl(*callback))
            return false;
        std::string ignored;
        HttpGetToString(callback->c_str(), ignored);
    }
    if (const auto catalog = JsonString(root, "CatalogName"))
        catalogName = *catalog;

    const Json::Value* list = JsonMember(root, "Artifacts");
    if (list == nullptr || !list->isArray() || list->size() > kMaxArtifacts)
        return false;
    artifacts.fileTypes.clear();
    artifacts.sourceUrls.clear();
    artifacts.localPaths.clear();
    for (Json::ArrayIndex i = 0; i < list->size(); ++i) {
        const Json::Value& element = (*list)[i];
        if (!element.isObject())
            return false;
        const auto type = JsonString(element, "FileType");
        const auto url = JsonString(element, "SourceUrl");
        if (!type || !url || !IsAcceptedType(*type))
            continue;
        if (!IsHttpUrl(*url))
            return false;
        artifacts.fileTypes.push_back(*type);
        artifacts.sourceUrls.push_back(*url);
        artifacts.localPaths.emplace_back();
    }
    return true;
}

}  // namespace tarvel
