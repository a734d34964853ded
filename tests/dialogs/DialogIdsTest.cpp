// The list of dialog and item ids (resources/dialogs/DialogIds.def) against the dialog
// resources it names: a dialog or an item renumbered in one and not the other fails
// here, before any dialog test runs into it.
#include "DialogIds.hpp"

#include <gtest/gtest.h>
#include <json/json.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

namespace tarvel::testing {
namespace {

namespace fs = std::filesystem;

struct ResourceItem {
    short id = 0;
    std::string kind;
};

struct Resource {
    std::string file;
    std::string type;
    std::string title;
    std::vector<ResourceItem> items;
};

// Every dialog of resources/dialogs/*.json by its id.
std::map<short, Resource> ReadResources()
{
    std::map<short, Resource> resources;
    for (const auto& entry : fs::directory_iterator(fs::path(TARVEL_SOURCE_DIR) / "resources" / "dialogs")) {
        if (entry.path().extension() != ".json")
            continue;
        std::ifstream in(entry.path(), std::ios::binary);
        Json::Value root;
        std::string errors;
        EXPECT_TRUE(Json::parseFromStream(Json::CharReaderBuilder(), in, &root, &errors))
            << entry.path() << ": " << errors;
        Resource resource;
        resource.file = entry.path().filename().string();
        resource.type = root["type"].asString();
        resource.title = root["title"].asString();
        for (const Json::Value& item : root["items"])
            resource.items.push_back({static_cast<short>(item["id"].asInt()), item["kind"].asString()});
        const short id = static_cast<short>(root["id"].asInt());
        EXPECT_TRUE(resources.emplace(id, resource).second) << resource.file << ": a second dialog " << id;
    }
    return resources;
}

class DialogIdsTest : public ::testing::Test {
protected:
    const std::map<short, Resource> resources = ReadResources();
};

TEST_F(DialogIdsTest, EachDialogResourceIsListedOnceWithItsTypeAndTitle)
{
    ASSERT_FALSE(resources.empty());
    for (const auto& [id, resource] : resources) {
        const ids::ListedDialog* listed = ids::FindDialog(id);
        ASSERT_NE(listed, nullptr) << resource.file << ": dialog " << id << " is not in the list";
        EXPECT_EQ(listed->type, resource.type) << resource.file;
        EXPECT_EQ(listed->title, resource.title) << resource.file;
    }
    for (const ids::ListedDialog& dialog : ids::Dialogs)
        EXPECT_EQ(resources.count(dialog.id), 1u) << dialog.name << ": no dialog resource " << dialog.id;
}

TEST_F(DialogIdsTest, EachListedItemIsInItsResourceWithItsKind)
{
    for (const ids::ListedItem& item : ids::Items) {
        if (item.kind.empty())
            continue;
        const auto resource = resources.find(item.dialog);
        ASSERT_NE(resource, resources.end()) << item.name;
        const auto& items = resource->second.items;
        const auto found = std::find_if(items.begin(), items.end(), [&](const ResourceItem& r) { return r.id == item.id; });
        ASSERT_NE(found, items.end()) << resource->second.file << " has no item " << item.id << " (" << item.name << ")";
        EXPECT_EQ(found->kind, item.kind) << resource->second.file << ": item " << item.id << " (" << item.name << ")";
    }
}

// The dialog manager numbers the items the add-on makes on from the resource's last,
// so a listed one is one past the resource's items or the one listed before it.
TEST_F(DialogIdsTest, ItemsMadeAtRunTimeFollowTheResourcesOwn)
{
    std::map<short, short> next;
    for (const auto& [id, resource] : resources)
        next[id] = static_cast<short>(resource.items.size() + 1);
    for (const ids::ListedItem& item : ids::Items) {
        if (!item.kind.empty())
            continue;
        ASSERT_EQ(next.count(item.dialog), 1u) << item.name;
        EXPECT_EQ(item.id, next[item.dialog]) << item.name;
        next[item.dialog] = static_cast<short>(item.id + 1);
    }
}

}  // namespace
}  // namespace tarvel::testing
