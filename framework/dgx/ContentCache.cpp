#include "ostrel/ApplicationContent.hpp"
#include "ostrel/Text.hpp"
#include "ostrel/dgx/Icons.hpp"

#include <iostream>

namespace ostrel {

ApplicationContentObject::ApplicationContentObject(const char* path)
{
    std::ifstream in = OpenInputStream(MakePathFromCString(path));
    if (in.is_open()) {
        in.seekg(0, std::ios::end);
        const std::streamoff length = in.tellg();
        if (length > 0) {
            data = BMAllocatePtr(static_cast<GSSize>(length), 0, 0);
            in.seekg(0, std::ios::beg);
            if (data != nullptr && in.read(data, length))
                size = static_cast<std::uint64_t>(length);
            else
                BMKillPtr(&data);
        }
    }
    if (size == 0)
        std::cerr << "NOT FOUND: " << path << std::endl;
}

ApplicationContentObject::~ApplicationContentObject() { BMKillPtr(&data); }

std::size_t ApplicationContentKeyHash::operator()(const ApplicationContentKey& key) const
{
    std::size_t pathHash = 0;
    for (char c : key.path)
        HashCombine(pathHash, boost::hash<char>()(c));
    std::size_t seed = 0;
    HashCombine(seed, pathHash);
    HashCombine(seed, key.variant.Hash());
    return seed;
}

ApplicationContentCache::ApplicationContentCache(const std::string& folder) : baseFolder(folder) {}

ApplicationContentCache& ApplicationContentCache::Default()
{
    static ApplicationContentCache cache(".");
    return cache;
}

std::string ApplicationContentCache::MakeFilePath(const ApplicationContentKey& key) const
{
    return baseFolder + "/" + key.path;
}

std::shared_ptr<ac::dgx::ContentIcon> ApplicationContentCache::Get(const ApplicationContentKey& key)
{
    if (auto found = map.find(key); found != map.end())
        return std::dynamic_pointer_cast<ac::dgx::ContentIcon>(found->second);
    auto icon = ac::dgx::ContentIcon::Create(MakeFilePath(key), key.variant);
    if (icon->GetSize() == 0 || icon->GetData() == nullptr)
        return nullptr;
    map.emplace(key, icon);
    return icon;
}

std::shared_ptr<ac::dgx::ContentIcon> ApplicationContentCache::Get(const std::string& path, const AnyKey& variant)
{
    return Get(ApplicationContentKey{path, variant});
}

}  // namespace ostrel
