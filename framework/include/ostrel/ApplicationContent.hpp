// Files read whole and kept for the user interface, and the cache that reads each
// picture file once per owner (every dialog has one, rooted at the Images folder).
#pragma once

#include "GSRoot.hpp"
#include "ostrel/AnyKey.hpp"
#include "ostrel/VirtualSharedFromThis.hpp"

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>

namespace ostrel {

namespace ac::dgx {
class ContentIcon;
}

// The bytes of one file, read whole into the host's memory; none when the file is
// missing or empty ("NOT FOUND: " and the path go to standard error then).
class ApplicationContentObject : public virtual VirtualSharedFromThis<ApplicationContentObject> {
public:
    explicit ApplicationContentObject(const char* path);
    ~ApplicationContentObject() override;
    ApplicationContentObject(const ApplicationContentObject&) = delete;
    ApplicationContentObject& operator=(const ApplicationContentObject&) = delete;

    const char* GetData() const { return data; }
    std::uint64_t GetSize() const { return size; }

protected:
    GSPtr data = nullptr;
    std::uint64_t size = 0;
};

struct ApplicationContentKey {
    std::string path;  // UTF-8, relative to the cache's base folder
    AnyKey variant;

    bool operator==(const ApplicationContentKey& other) const
    {
        return path == other.path && variant.Equals(other.variant);
    }
};

struct ApplicationContentKeyHash {
    std::size_t operator()(const ApplicationContentKey& key) const;
};

class ApplicationContentCache {
public:
    explicit ApplicationContentCache(const std::string& baseFolder);
    ApplicationContentCache(const ApplicationContentCache&) = delete;
    ApplicationContentCache& operator=(const ApplicationContentCache&) = delete;

    // The shared cache on the base folder ".", alive until the add-on is unloaded.
    static ApplicationContentCache& Default();

    // The icon of the file at base folder + "/" + path, read on the first call for
    // the key and shared afterwards; empty when the file gives no content (nothing
    // is kept then, so a later call tries again).
    std::shared_ptr<ac::dgx::ContentIcon> Get(const ApplicationContentKey& key);
    std::shared_ptr<ac::dgx::ContentIcon> Get(const std::string& path, const AnyKey& variant);
    std::string MakeFilePath(const ApplicationContentKey& key) const;

    const std::string& BaseFolder() const { return baseFolder; }
    std::size_t Size() const { return map.size(); }

private:
    std::unordered_map<ApplicationContentKey, std::shared_ptr<ApplicationContentObject>, ApplicationContentKeyHash>
        map;
    std::string baseFolder;
};

}  // namespace ostrel
