// The product libraries the add-on knows: the active ones stored in Settings.xml,
// merged with those the online repository offers for this host.
#pragma once

#include "controllers/Library.hpp"

#include <json/value.h>
#include <pugixml.hpp>

#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace tarvel {

// One row of the Library dialog.
struct LibraryChoice {
    std::wstring libraryId;
    bool checked = false;
};

// The Library dialog as its controller sees it.
class ILibraryView {
public:
    // Ends the dialog: modal response 1 when accepted, otherwise 2.
    virtual void Close(bool accepted) = 0;
    // Appends one choice per library row, in row order, with the row's check mark.
    virtual void CollectLibraries(std::vector<LibraryChoice>& choices) = 0;

protected:
    ~ILibraryView() = default;
};

// A Session Report line (UTF-8) with or without an alert.
using ReportLine = std::function<void(const std::string& text, bool alert)>;

// What an online list needs of the host: the culture of the repository's names, the
// profile of data.cfg and where its failure is reported. The host is asked on the
// user-interface thread; another thread gets a copy.
struct RepositoryContext {
    std::string culture;
    std::string profile;
    ReportLine report;
};

// Culture (string list 17781, entry 1), the "profile" of data.cfg ("TARVEL" when
// missing or unreadable) and the host's Session Report. User-interface thread.
RepositoryContext HostRepositoryContext();

constexpr const char* kRepositoryFailure = "ERROR: cannot connect to the online database of libraries.";
// The Session Report line when the library dialog's loading took its whole budget.
constexpr const char* kLibraryDialogBudgetSpent =
    "Tarvel: the online services did not answer in time for the library list; the remaining requests were skipped.";

class LibraryController {
public:
    // Reads Settings.xml and, when online, merges the repository (asking the host for
    // its context: user-interface thread). Transfers that failed on a bound are
    // reported at the end.
    explicit LibraryController(bool online);
    // The same with the context given, for any thread.
    LibraryController(bool online, RepositoryContext context);
    // The online list for the library dialog, which the user waits for on the
    // user-interface thread: its requests share Deployment::libraryDialogBudget. Once
    // it is spent the rest are skipped: the list holds what arrived, a library whose
    // logo was skipped keeps the logo it had (or none), and one Session Report line
    // says so (kLibraryDialogBudgetSpent).
    static LibraryController ForLibraryDialog();

    // Appends the libraries stored in Settings.xml, active, in document order.
    void LoadActiveLibraries();
    // Merges the repository file at the address; true when the whole file was walked.
    bool LoadRepository(const char* address);
    // Appends the active libraries, in list order, sharing them.
    void GetActiveLibraries(std::vector<std::shared_ptr<Library>>& active) const;
    // Rewrites `ActiveLibraries` of Settings.xml in one read-modify-write: the list as
    // stored at that moment, with this controller's own changes (activations, the
    // dialog's changed ticks) applied and the fields of its active libraries written;
    // every is_in_menu "true" when allInMenu. A change another controller stored after
    // this one read the file stays. False when the file could not be written.
    bool SaveActiveLibraries(bool allInMenu);
    // The first library with this id (UTF-8) becomes active; true only when it was not.
    bool ActivateLibrary(std::string id);
    // The url of the first library with this id (UTF-8); false (url unchanged) for none.
    bool GetLibraryUrl(std::string id, std::wstring& url) const;
    // The Library dialog's OK: each library's flag from its row (a changed tick is kept
    // as this controller's change for the next save), then the view closes accepted.
    void ApplyActiveLibraries();

    const std::vector<std::shared_ptr<Library>>& Libraries() const { return libraries_; }

    // The open Library dialog (set by it); not owned.
    ILibraryView* view = nullptr;

private:
    LibraryController(RepositoryContext context, std::chrono::milliseconds budget);
    void Load(bool online);
    std::shared_ptr<Library> Find(const std::string& id) const;
    void SetActive(Library& library, bool active);

    std::vector<std::shared_ptr<Library>> libraries_;
    // The active flags this controller changed since it read Settings.xml, by id.
    std::map<std::wstring, bool> changes_;
    RepositoryContext context_;
};

// A library from a `Library` element of Settings.xml; active, is_in_menu true unless "false".
std::shared_ptr<Library> ReadLibraryFromXml(const pugi::xml_node& element);

// Overwrites the library's fields from a repository entry (which holds a text "id").
// Values that are not text count as missing; the logo is downloaded each time, and a
// failed download leaves no logo, unless the thread's budget was spent: then the
// request may not have been made, and the library keeps the logo it had.
void FillLibraryFromJson(const Json::Value& entry, std::shared_ptr<Library> library, const std::string& culture);

// The profile's repository address from the repository server's crs.json; "" when the
// file cannot be fetched or read, or names no such profile.
std::string GetRepositoryUrlForProfile(const char* profile);

}  // namespace tarvel
