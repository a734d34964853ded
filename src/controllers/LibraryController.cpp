#include "controllers/LibraryController.hpp"

#include "Main/Globals.hpp"
#include "controllers/SettingsFile.hpp"
#include "ostrel/Text.hpp"
#include "ostrel/interop/HostApi.hpp"
#include "ostrel/interop/Interop.hpp"
#include "transfer/DataCfg.hpp"
#include "transfer/Deployment.hpp"
#include "transfer/Http.hpp"
#include "transfer/Json.hpp"
#include "transfer/Pictures.hpp"

#include <utf8.h>

#include <algorithm>

namespace tarvel {
namespace {

constexpr const char* kArchicadTarget = "archicad";

// Text from a file or the network that is not UTF-8 counts as missing.
bool ToWide(const std::string& text, std::wstring& wide)
{
    if (!utf8::is_valid(text.begin(), text.end()))
        return false;
    wide = ostrel::Utf8ToWString(text);
    return true;
}

std::wstring WideOrEmpty(const char* text)
{
    std::wstring wide;
    ToWide(text, wide);
    return wide;
}

// The member, or the null value when the value is no object or has no such member.
const Json::Value& Member(const Json::Value& object, const char* key)
{
    const Json::Value* member = JsonMember(object, key);
    return member != nullptr ? *member : Json::Value::nullSingleton();
}

// The member when it is text that converts.
bool TextMember(const Json::Value& object, const char* key, std::wstring& text)
{
    const std::optional<std::string> member = JsonString(object, key);
    return member && ToWide(*member, text);
}

const Json::Value& Element(const Json::Value& array, std::size_t index)
{
    return array[static_cast<Json::ArrayIndex>(index)];
}

// The body of a JSON object file, or false.
bool FetchJsonObjectText(const std::string& url, std::string& body)
{
    return HttpGetToString(url.c_str(), body) && !body.empty() && body[0] == '{';
}

void AppendLibraryElement(pugi::xml_node list, const Library& library, bool allInMenu)
{
    pugi::xml_node element = list.append_child("Library");
    element.append_attribute("id").set_value(ostrel::WStringToUtf8(library.id).c_str());
    element.append_attribute("name").set_value(ostrel::WStringToUtf8(library.name).c_str());
    element.append_attribute("logo").set_value(ostrel::WStringToUtf8(library.logo).c_str());
    element.append_attribute("url").set_value(ostrel::WStringToUtf8(library.url).c_str());
    element.append_attribute("description").set_value(ostrel::WStringToUtf8(library.description).c_str());
    element.append_attribute("is_in_menu").set_value(allInMenu || library.is_in_menu);
}

void ReportToHost(const std::string& text, bool alert)
{
    HostApi_Report(ostrel::ac::interop::ToUniString(ostrel::Utf8ToWString(text)), alert);
}

}  // namespace

std::shared_ptr<Library> MakeLibrary() { return std::make_shared<Library>(); }

RepositoryContext HostRepositoryContext()
{
    RepositoryContext context;
    context.culture = ostrel::ac::interop::LoadResourceStringUtf8(17781, 1);
    context.profile = "TARVEL";
    try {
        ConfigEntries entries;
        LoadDataCfg(entries);
        context.profile = GetConfigValue(entries, "profile", "TARVEL");
    } catch (const ostrel::ac::interop::GSException&) {
        // No add-on folder, so no data.cfg: the default profile.
    }
    context.report = ReportToHost;
    return context;
}

LibraryController::LibraryController(bool online)
    : LibraryController(online, online ? HostRepositoryContext() : RepositoryContext{})
{
    if (online)
        ReportBoundFailures();
}

LibraryController::LibraryController(bool online, RepositoryContext context) : context_(std::move(context))
{
    Load(online);
}

LibraryController::LibraryController(RepositoryContext context, std::chrono::milliseconds budget)
    : context_(std::move(context))
{
    TransferBudget shared(budget);
    {
        const ScopedTransferBudget inForce(shared);
        Load(true);
    }
    ReportBoundFailures();
    if (shared.Spent() && context_.report)
        context_.report(kLibraryDialogBudgetSpent, false);
}

LibraryController LibraryController::ForLibraryDialog()
{
    return LibraryController(HostRepositoryContext(), CurrentDeployment().libraryDialogBudget);
}

void LibraryController::Load(bool online)
{
    LoadActiveLibraries();
    if (!online)
        return;
    std::string address = GetRepositoryUrlForProfile(context_.profile.c_str());
    if (address.size() < 2)
        address = CurrentDeployment().repositoryServer + "/repository/repository.json";
    if (!LoadRepository(address.c_str())) {
        if (context_.report)
            context_.report(kRepositoryFailure, true);
        libraries_.clear();
    }
}

void LibraryController::LoadActiveLibraries()
{
    pugi::xml_document document;
    if (LoadSettingsDocument(SettingsFilePath(), document) == SettingsLoad::Missing)
        return;
    const pugi::xml_node settings = document.child(ostrel::WStringToUtf8(settingsElementName).c_str());
    for (const pugi::xpath_node& node : settings.select_nodes("ActiveLibraries/Library"))
        libraries_.push_back(ReadLibraryFromXml(node.node()));
}

bool LibraryController::LoadRepository(const char* address)
{
    std::string body;
    if (address == nullptr || !FetchJsonObjectText(address, body))
        return false;
    Json::Value root;
    // A text that breaks off is used as far as it was read.
    ParseJson(body, root);
    const Json::Value& repository = Member(root, "repository");
    const Json::Value& customers = Member(repository, "customers");
    if (!repository.isObject() || !customers.isArray())
        return false;
    for (std::size_t c = 0; c < customers.size(); ++c) {
        const Json::Value& entries = Member(Element(customers, c), "libraries");
        if (!entries.isArray())
            return false;
        for (std::size_t e = 0; e < entries.size(); ++e) {
            const Json::Value& entry = Element(entries, e);
            const Json::Value& targets = Member(entry, "target_systems");
            if (!targets.isArray())
                continue;
            bool forThisHost = false;
            for (std::size_t t = 0; t < targets.size() && !forThisHost; ++t)
                forThisHost = Element(targets, t).isString() && Element(targets, t).asString() == kArchicadTarget;
            std::wstring id;
            // Settings.xml keeps a text up to its first NUL: such an id would come back
            // as another library's.
            if (!forThisHost || !TextMember(entry, "id", id) || id.find(L'\0') != std::wstring::npos)
                continue;
            std::shared_ptr<Library> library;
            for (const auto& known : libraries_)
                if (known->id == id) {
                    library = known;
                    break;
                }
            if (library) {
                FillLibraryFromJson(entry, library, context_.culture);
            } else {
                library = MakeLibrary();
                FillLibraryFromJson(entry, library, context_.culture);
                libraries_.push_back(std::move(library));
            }
        }
    }
    return true;
}

void LibraryController::GetActiveLibraries(std::vector<std::shared_ptr<Library>>& active) const
{
    for (const auto& library : libraries_)
        if (library->active)
            active.push_back(library);
}

bool LibraryController::SaveActiveLibraries(bool allInMenu)
{
    const bool saved = RewriteSettings(SettingsFilePath(), [&](pugi::xml_node settings) {
        // The list as stored now, under the lock: the clipboard watcher's controller
        // and the library dialog's may each have written since the other read it.
        std::vector<std::shared_ptr<Library>> stored;
        for (const pugi::xpath_node& node : settings.select_nodes("ActiveLibraries/Library"))
            stored.push_back(ReadLibraryFromXml(node.node()));
        // Every list the reader took its libraries from goes: a second one left behind
        // would double its libraries at the next read.
        while (settings.remove_child("ActiveLibraries")) {
        }
        pugi::xml_node list = settings.append_child("ActiveLibraries");

        std::vector<const Library*> written;
        auto isWritten = [&](const Library* library) {
            return std::find(written.begin(), written.end(), library) != written.end();
        };
        // This controller's active library of that id not written yet: its fields are
        // the fresher ones (the repository's).
        auto own = [&](const std::wstring& id) -> const Library* {
            for (const auto& library : libraries_)
                if (library->active && library->id == id && !isWritten(library.get()))
                    return library.get();
            return nullptr;
        };
        auto changedTo = [&](const std::wstring& id, bool active) {
            const auto change = changes_.find(id);
            return change != changes_.end() && change->second == active;
        };
        for (const auto& entry : stored) {
            if (changedTo(entry->id, false))
                continue;
            const Library* library = own(entry->id);
            if (library != nullptr)
                written.push_back(library);
            AppendLibraryElement(list, library != nullptr ? *library : *entry, allInMenu);
        }
        // What this controller made active and the file does not hold yet. An active
        // library it did not change and the file no longer holds was taken out by
        // another controller: it stays out.
        for (const auto& library : libraries_)
            if (library->active && changedTo(library->id, true) && !isWritten(library.get())) {
                written.push_back(library.get());
                AppendLibraryElement(list, *library, allInMenu);
            }
    });
    if (saved)
        changes_.clear();
    return saved;
}

std::shared_ptr<Library> LibraryController::Find(const std::string& id) const
{
    std::wstring wide;
    // An id that is not UTF-8 names no library.
    if (!ToWide(id, wide))
        return nullptr;
    for (const auto& library : libraries_)
        if (library->id == wide)
            return library;
    return nullptr;
}

bool LibraryController::ActivateLibrary(std::string id)
{
    const std::shared_ptr<Library> library = Find(id);
    if (!library || library->active)
        return false;
    SetActive(*library, true);
    return true;
}

void LibraryController::SetActive(Library& library, bool active)
{
    library.active = active;
    changes_[library.id] = active;
}

bool LibraryController::GetLibraryUrl(std::string id, std::wstring& url) const
{
    const std::shared_ptr<Library> library = Find(id);
    if (!library)
        return false;
    url = library->url;
    return true;
}

void LibraryController::ApplyActiveLibraries()
{
    if (view == nullptr)
        return;
    std::vector<LibraryChoice> choices;
    view->CollectLibraries(choices);
    for (const auto& library : libraries_)
        for (const LibraryChoice& choice : choices)
            if (choice.libraryId == library->id) {
                // Only the ticks the user changed count: a row left alone says nothing
                // about a change another controller made meanwhile.
                if (choice.checked != library->active)
                    SetActive(*library, choice.checked);
                break;
            }
    view->Close(true);
}

std::shared_ptr<Library> ReadLibraryFromXml(const pugi::xml_node& element)
{
    std::shared_ptr<Library> library = MakeLibrary();
    library->id = WideOrEmpty(element.attribute("id").value());
    library->name = WideOrEmpty(element.attribute("name").value());
    library->logo = WideOrEmpty(element.attribute("logo").value());
    library->url = WideOrEmpty(element.attribute("url").value());
    library->description = WideOrEmpty(element.attribute("description").value());
    library->active = true;
    library->is_in_menu = element.attribute("is_in_menu").as_bool(true);
    return library;
}

void FillLibraryFromJson(const Json::Value& entry, std::shared_ptr<Library> library, const std::string& culture)
{
    std::wstring text;
    library->id = TextMember(entry, "id", text) ? text : std::wstring();
    library->url = TextMember(entry, "baseurl", text) ? text : std::wstring();
    const Json::Value& logo = Member(entry, "logo");
    if (!logo.isString()) {
        library->logo.clear();
    } else if (std::wstring fetched = DownloadImage(logo.asString()); !fetched.empty() || !TransferBudgetSpent()) {
        library->logo = std::move(fetched);
    }
    if (TextMember(Member(entry, "name"), culture.c_str(), text))
        library->name = text;
    if (TextMember(Member(entry, "description"), culture.c_str(), text))
        library->description = text;
}

std::string GetRepositoryUrlForProfile(const char* profile)
{
    std::string body;
    if (profile == nullptr || !FetchJsonObjectText(CurrentDeployment().repositoryServer + "/repository/crs.json", body))
        return "";
    Json::Value root;
    // A text that breaks off is used as far as it was read.
    ParseJson(body, root);
    const Json::Value& profiles = Member(Member(root, "storage"), "profiles");
    if (!profiles.isArray())
        return "";
    for (std::size_t i = 0; i < profiles.size(); ++i) {
        const Json::Value& id = Member(Element(profiles, i), "id");
        const Json::Value& repository = Member(Element(profiles, i), "repository");
        if (id.isString() && id.asString() == profile && repository.isString())
            return repository.asString();
    }
    return "";
}

}  // namespace tarvel
