#include "standin/Base.hpp"
#include "standin/CoreModules.hpp"

#include <json/json.h>

#include <cstring>
#include <fstream>
#include <sstream>

namespace standin {
namespace {

GSResModule ResourceModuleId() { return ResourceModule::AddOnModule; }

GSErrCode LoadIndexedString(GSResModule module, std::int16_t list, std::int16_t index, GS::uchar_t* buffer)
{
    if (buffer == nullptr)
        return HostInterface::ErrBadParameter;
    buffer[0] = 0;
    if (module != ResourceModule::AddOnModule)
        return HostInterface::ErrBadParameter;
    const std::u16string* text = Host::Current().Module<ResourceModule>().String(list, index);
    if (text == nullptr)
        return HostInterface::ErrBadParameter;
    // The caller's buffer holds 1024 units with the terminator.
    const std::size_t n = std::min(text->size(), HostInterface::StringBufferUnits - 1);
    std::memcpy(buffer, text->data(), n * sizeof(GS::uchar_t));
    buffer[n] = 0;
    return 0;
}

}  // namespace

// strings.json: {"<list id>": {"<index>": "UTF-8 text", ...}, ...}
ResourceModule::ResourceModule(Host& host)
{
    const std::string file = host.Options().resourceDir + "/strings.json";
    std::ifstream in(file, std::ios::binary);
    if (!in)
        throw std::runtime_error("stand-in host: cannot read " + file);
    Json::Value root;
    Json::CharReaderBuilder builder;
    std::string errors;
    if (!Json::parseFromStream(builder, in, &root, &errors))
        throw std::runtime_error("stand-in host: " + file + ": " + errors);
    for (const auto& listName : root.getMemberNames()) {
        if (listName.empty() || listName[0] == '_')
            continue;
        const auto list = static_cast<std::int16_t>(std::stoi(listName));
        const Json::Value& entries = root[listName];
        for (const auto& indexName : entries.getMemberNames()) {
            const std::string text = entries[indexName].asString();
            strings_[{list, static_cast<std::int16_t>(std::stoi(indexName))}] =
                standin::base::Decode(text.data(), text.size(), GS::CC_UTF8);
        }
    }
    ReadIdentity(host.Options().resourceDir);
}

// identity.json: {"MDID": {"32500": [8, <number>, <number>]}}; the length first, as in
// the resource's bytes.
void ResourceModule::ReadIdentity(const std::string& resourceDir)
{
    std::ifstream in(resourceDir + "/identity.json", std::ios::binary);
    Json::Value root;
    Json::CharReaderBuilder builder;
    std::string errors;
    if (!in || !Json::parseFromStream(builder, in, &root, &errors) || !root.isObject())
        return;
    const Json::Value& mdid = root["MDID"];
    if (!mdid.isObject())
        return;
    const Json::Value& words = mdid["32500"];
    if (!words.isArray() || words.size() != 3)
        return;
    for (const auto& word : words)
        if (!word.isIntegral() || word.asLargestInt() < 0 || word.asLargestInt() > 0xFFFFFFFFll)
            return;
    if (words[0].asLargestInt() != 8)
        return;
    identity_ = std::array<std::uint32_t, 2>{static_cast<std::uint32_t>(words[1].asLargestUInt()),
                                             static_cast<std::uint32_t>(words[2].asLargestUInt())};
}

void ResourceModule::Install(FunctionTable& table)
{
    table.Provide<HostInterface::Slot::ResourceModuleId, &ResourceModuleId>();
    table.Provide<HostInterface::Slot::LoadIndexedString, &LoadIndexedString>();
}

const std::u16string* ResourceModule::String(std::int16_t list, std::int16_t index) const
{
    auto it = strings_.find({list, index});
    return it == strings_.end() ? nullptr : &it->second;
}

}  // namespace standin
