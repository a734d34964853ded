// The dialog resources and icons of a resource module, read from its folder as a
// host reads an add-on's resource file: every dialog of dialogs/*.json and every
// icon that icons.json names. A file that is wrong stops the reading with its name.
#include "DgInternal.hpp"

#include <cmath>
#include <filesystem>
#include <fstream>
#include <set>
#include <stdexcept>

namespace standin::dg {
namespace detail {
namespace {

namespace fs = std::filesystem;

[[noreturn]] void Fail(const std::string& file, const std::string& what)
{
    throw std::runtime_error("stand-in dialog manager: " + file + ": " + what);
}

Json::Value ReadJson(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        Fail(path.string(), "cannot be read");
    Json::Value root;
    Json::CharReaderBuilder builder;
    builder["rejectDupKeys"] = true;
    std::string errors;
    if (!Json::parseFromStream(builder, in, &root, &errors))
        Fail(path.string(), errors);
    return root;
}

short Short(const Json::Value& value, const std::string& file, const std::string& what)
{
    if (!value.isInt() || value.asInt() < -32768 || value.asInt() > 32767)
        Fail(file, what + " must be a whole number that fits 16 bits");
    return static_cast<short>(value.asInt());
}

std::pair<short, short> Pair(const Json::Value& value, const std::string& file, const std::string& what)
{
    if (!value.isArray() || value.size() != 2)
        Fail(file, what + " must be [a, b]");
    return {Short(value[0], file, what), Short(value[1], file, what)};
}

void CheckFields(const Json::Value& object, const std::set<std::string>& allowed, const std::string& file,
                 const std::string& where)
{
    for (const auto& name : object.getMemberNames())
        if (allowed.count(name) == 0)
            Fail(file, where + ": unknown field \"" + name + "\"");
}

ItemResource ReadItem(const Json::Value& item, std::size_t index, const std::string& file)
{
    const std::string where = "item " + std::to_string(index + 1);
    if (!item.isObject())
        Fail(file, where + " must be an object");
    ItemResource resource;
    resource.id = Short(item["id"], file, where + " id");
    if (resource.id != static_cast<short>(index + 1))
        Fail(file, where + " has id " + std::to_string(resource.id) + ": items are numbered from 1 in order");
    if (!item["kind"].isString())
        Fail(file, where + " has no kind");
    resource.kind = FindKind(item["kind"].asString());
    if (resource.kind == nullptr)
        Fail(file, where + ": unknown kind \"" + item["kind"].asString() + "\"");
    const Json::Value& rect = item["rect"];
    if (!rect.isArray() || rect.size() != 4)
        Fail(file, where + ": rect must be [x, y, width, height]");
    const short x = Short(rect[0], file, where + " rect");
    const short y = Short(rect[1], file, where + " rect");
    const short w = Short(rect[2], file, where + " rect");
    const short h = Short(rect[3], file, where + " rect");
    if (w < 0 || h < 0)
        Fail(file, where + ": a negative size");
    resource.rect = DG::Rect(x, y, static_cast<short>(x + w), static_cast<short>(y + h));
    std::set<std::string> allowed{"id", "kind", "rect", "comment"};
    if (resource.kind->HasText()) {
        allowed.insert("text");
        if (item.isMember("text")) {
            if (!item["text"].isString())
                Fail(file, where + ": text must be a string");
            resource.text = Utf16(item["text"].asString());
        }
    }
    for (const char* field : resource.kind->Fields())
        allowed.insert(field);
    CheckFields(item, allowed, file, where);
    resource.attributes = item;
    // Let the kind read its fields now, so that a wrong one stops the start.
    ItemState probe;
    probe.id = resource.id;
    probe.kind = resource.kind;
    try {
        resource.kind->Read(item, probe);
    } catch (const std::exception& e) {
        Fail(file, where + ": " + e.what());
    }
    return resource;
}

DialogResource ReadDialog(const fs::path& path, GSResModule module)
{
    const std::string file = path.string();
    const Json::Value root = ReadJson(path);
    if (!root.isObject())
        Fail(file, "must hold one dialog object");
    CheckFields(root, {"id", "type", "title", "size", "position", "items", "comment"}, file, "dialog");
    DialogResource dialog;
    dialog.file = file;
    dialog.module = module;
    dialog.id = Short(root["id"], file, "id");
    const std::string type = root["type"].asString();
    if (type != "modal" && type != "palette")
        Fail(file, "type must be \"modal\" or \"palette\"");
    dialog.palette = type == "palette";
    if (!root["title"].isString())
        Fail(file, "title must be a string");
    dialog.title = Utf16(root["title"].asString());
    std::tie(dialog.width, dialog.height) = Pair(root["size"], file, "size");
    if (dialog.width <= 0 || dialog.height <= 0)
        Fail(file, "size must be positive");
    if (root.isMember("position"))
        std::tie(dialog.x, dialog.y) = Pair(root["position"], file, "position");
    const Json::Value& items = root["items"];
    if (!items.isArray())
        Fail(file, "items must be a list");
    for (Json::ArrayIndex i = 0; i < items.size(); ++i)
        dialog.items.push_back(ReadItem(items[i], i, file));
    return dialog;
}

std::shared_ptr<Pixels> ReadIcon(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        Fail(path.string(), "cannot be read");
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    auto pixels = DecodePng(bytes.data(), bytes.size());
    if (!pixels)
        Fail(path.string(), "is not a PNG picture");
    return pixels;
}

}  // namespace

const DialogResource* FindDialogResource(GSResModule module, short id, const char* call)
{
    State& state = GetState();
    auto set = state.modules.find(module);
    if (set == state.modules.end()) {
        Refuse(std::string(call) + ": resource module " + std::to_string(module) + " is not known");
        return nullptr;
    }
    auto dialog = set->second.dialogs.find(id);
    if (dialog == set->second.dialogs.end()) {
        Refuse(std::string(call) + ": resource module " + std::to_string(module) + " has no dialog " +
               std::to_string(id));
        return nullptr;
    }
    return &dialog->second;
}

std::shared_ptr<Pixels> FindIcon(GSResModule module, short id, const char* call)
{
    if (module == BuiltInModule)
        return BuiltInIcon(id);
    State& state = GetState();
    auto set = state.modules.find(module);
    if (set == state.modules.end()) {
        Refuse(std::string(call) + ": resource module " + std::to_string(module) + " is not known");
        return nullptr;
    }
    auto icon = set->second.icons.find(id);
    return icon == set->second.icons.end() ? nullptr : icon->second;
}

// The host's own small pictures (16 x 16): -2 marks an active area, -3 a set check
// mark, -4 a cleared one, -5 a mixed one.
std::shared_ptr<Pixels> BuiltInIcon(short id)
{
    static std::mutex mutex;
    static std::map<short, std::shared_ptr<Pixels>> icons;
    std::lock_guard lock(mutex);
    if (auto found = icons.find(id); found != icons.end())
        return found->second;
    if (id < -5 || id > -2)
        return nullptr;
    auto pixels = MakePixels(16, 16);
    cairo_t* cr = cairo_create(pixels->surface);
    cairo_set_line_width(cr, 1);
    if (id == -2) {
        cairo_arc(cr, 8, 8, 4, 0, 2 * M_PI);
        cairo_set_source_rgb(cr, 0.2, 0.45, 0.8);
        cairo_fill(cr);
    } else {
        cairo_rectangle(cr, 2.5, 2.5, 11, 11);
        cairo_set_source_rgb(cr, 1, 1, 1);
        cairo_fill_preserve(cr);
        cairo_set_source_rgb(cr, 0.3, 0.3, 0.3);
        cairo_stroke(cr);
        cairo_set_line_width(cr, 2);
        if (id == -3) {
            cairo_move_to(cr, 4.5, 8);
            cairo_line_to(cr, 7, 10.5);
            cairo_line_to(cr, 11.5, 5);
            cairo_set_source_rgb(cr, 0.1, 0.1, 0.1);
            cairo_stroke(cr);
        } else if (id == -5) {
            cairo_move_to(cr, 5, 8);
            cairo_line_to(cr, 11, 8);
            cairo_set_source_rgb(cr, 0.4, 0.4, 0.4);
            cairo_stroke(cr);
        }
    }
    cairo_destroy(cr);
    cairo_surface_flush(pixels->surface);
    icons[id] = pixels;
    return pixels;
}

}  // namespace detail

using namespace detail;

void AddResourceModule(GSResModule module, const std::string& folder)
{
    if (!CheckCall("AddResourceModule"))
        return;
    if (module == BuiltInModule)
        throw std::logic_error("stand-in dialog manager: module -4 holds the host's own icons");
    ResourceSet set;
    set.folder = folder;
    const fs::path root(folder);
    const fs::path dialogs = root / "dialogs";
    if (fs::is_directory(dialogs)) {
        std::vector<fs::path> files;
        for (const auto& entry : fs::directory_iterator(dialogs))
            if (entry.path().extension() == ".json")
                files.push_back(entry.path());
        std::sort(files.begin(), files.end());
        for (const auto& file : files) {
            DialogResource dialog = ReadDialog(file, module);
            const short id = dialog.id;
            if (!set.dialogs.emplace(id, std::move(dialog)).second)
                Fail(file.string(), "a second dialog with id " + std::to_string(id));
        }
    }
    const fs::path iconList = root / "icons.json";
    if (fs::exists(iconList)) {
        const Json::Value icons = ReadJson(iconList);
        if (!icons.isObject())
            Fail(iconList.string(), "must map icon ids to PNG files");
        for (const auto& name : icons.getMemberNames()) {
            if (name.empty() || name[0] == '_')
                continue;
            short id = 0;
            try {
                std::size_t used = 0;
                const int value = std::stoi(name, &used);
                if (used != name.size() || value < -32768 || value > 32767)
                    throw std::out_of_range(name);
                id = static_cast<short>(value);
            } catch (const std::exception&) {
                Fail(iconList.string(), "\"" + name + "\" is not an icon id");
            }
            if (!icons[name].isString())
                Fail(iconList.string(), "icon " + name + " must name a file");
            set.icons[id] = ReadIcon(root / icons[name].asString());
        }
    }
    GetState().modules[module] = std::move(set);
}

}  // namespace standin::dg
