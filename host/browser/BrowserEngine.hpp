// The engine of the stand-in's embedded browser: it loads pages over HTTP(S), parses
// them with libxml2's HTML parser and does what a browser does with them, except run
// scripts. The dialog manager's browser item wraps it; tests may drive it directly.
//
// Pages load on a thread of the engine's own, one navigation at a time; a new one, or
// StopLoad, ends the one under way. Every request is bounded in time and every failure
// is kept as the page's error, never waited on.
//
// The one script the engine performs is the auto-submitting idiom: a page whose script
// sets window.onload to a function that looks up a form by id
// (document.getElementById("ID")) and calls submit() on it has that form submitted as
// soon as it is loaded. Everything else a page's script would do, the scripted user
// does by element id: follow a link, submit a form, press an element that declares a
// clipboard text in its data-clipboard attribute.
#pragma once

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace standin::browser {

class Document;

// The attribute of a pressable element whose value goes to the clipboard.
constexpr const char* kClipboardAttribute = "data-clipboard";

enum class LoadState {
    Blank,    // nothing loaded yet
    Loading,  // a navigation is under way
    Done,     // the page is shown
    Failed,   // the last navigation failed (Error tells why); the page before stays
    Stopped,  // StopLoad ended a navigation; the page before stays
};
const char* ToString(LoadState state);

// One request the engine made, or one page it was handed.
struct Navigation {
    std::string method;       // "GET", "POST", or "HTML" for LoadHTML
    std::string url;          // as requested (before redirects)
    std::string contentType;  // of a posted body
    std::string body;         // the posted body
};

struct Element {
    std::string tag;  // lower case
    std::vector<std::pair<std::string, std::string>> attributes;  // in document order, values decoded
    std::string text;  // the text of its descendants, as in the page

    std::optional<std::string> Attribute(const std::string& name) const;
};

struct EngineOptions {
    // Bound of one request, connection included, and of its connection alone.
    std::chrono::milliseconds requestTimeout{20000};
    std::chrono::milliseconds connectTimeout{5000};
    // Pages loaded one after another without the user (automatic submits, at most).
    int maxAutomaticNavigations = 10;
    // How long a press waits for a clipboard that another program holds open.
    std::chrono::milliseconds clipboardPatience{1000};
    // Answers larger than this fail.
    std::size_t maxPageBytes = 16 * 1024 * 1024;
    // PEM certificate of an authority to trust beside the system's.
    std::string trustedAuthorityPem;
};

// A page's visible content as a browser lays it out: blocks one below the other, each
// a line of runs that wraps at the width it is drawn in.
struct TextRun {
    enum class Kind { Text, Link, Button, Field };
    Kind kind = Kind::Text;
    std::string text;  // whitespace runs as one space; a button's label, a field's value
};
struct Block {
    enum class Kind { Heading, Paragraph, ListItem, Row };
    Kind kind = Kind::Paragraph;
    int level = 0;                            // a heading's 1 to 6
    std::vector<TextRun> runs;                // all but a row
    std::vector<std::vector<TextRun>> cells;  // a table row's cells
    int table = 0;                            // a row's table, counted from 1 in the page
};

class BrowserEngine {
public:
    explicit BrowserEngine(EngineOptions options = {});
    ~BrowserEngine();
    BrowserEngine(const BrowserEngine&) = delete;
    BrowserEngine& operator=(const BrowserEngine&) = delete;

    // Starts loading the page at the URL (http or https).
    void LoadURL(const std::string& url);
    // Starts showing the page's text (UTF-8), as if it had come from baseUrl.
    void LoadHTML(const std::string& html, const std::string& baseUrl = "about:blank");
    // Ends the navigation under way, if any; the page shown stays.
    void StopLoad();

    // Waits until no navigation runs, at most the timeout; the state then.
    LoadState WaitForLoad(std::chrono::milliseconds timeout);

    LoadState State() const;
    // What went wrong with the last navigation; empty when nothing did.
    std::string Error() const;
    // The page shown: its address after redirects, HTTP status (0 for LoadHTML), title
    // and visible text (whitespace runs as one space).
    std::string Url() const;
    int Status() const;
    std::string Title() const;
    std::string VisibleText() const;
    // The page shown laid out in blocks; none when nothing is shown.
    std::vector<Block> Layout() const;
    std::optional<Element> FindElement(const std::string& id) const;
    // Ids of the page's elements, in document order.
    std::vector<std::string> ElementIds() const;
    std::vector<Navigation> Navigations() const;

    // The scripted user's actions on the page shown. Each answers an empty text when
    // done (a navigation then runs), or what a user would find wrong.
    std::string FollowLink(const std::string& id);
    // The form of that id, or the form of the submit button of that id.
    std::string SubmitForm(const std::string& id);
    // An element with a data-clipboard attribute: its value goes to the clipboard.
    std::string Press(const std::string& id);

private:
    struct Request {
        Navigation navigation;
        std::string baseUrl;  // LoadHTML only
    };
    struct Page {
        std::string url;
        int status = 0;
        std::shared_ptr<const Document> document;
    };

    struct Fetched {
        int status = 0;
        std::string url;  // after redirects
        std::string contentType;
        std::string charset;
        std::string body;
    };

    void Start(Request request);
    void Run(Request request);
    // Empty when the answer came, or when the navigation was stopped meanwhile.
    std::string Fetch(const Navigation& navigation, Fetched& fetched);
    bool Cancelled() const;
    std::shared_ptr<const Document> Shown() const;

    const EngineOptions options_;

    mutable std::mutex mutex_;
    std::condition_variable changed_;
    LoadState state_ = LoadState::Blank;
    std::string error_;
    Page page_;
    std::vector<Navigation> navigations_;
    bool cancel_ = false;
    void* multi_ = nullptr;  // the transfer under way, for waking it on a stop
    std::thread worker_;     // started and joined on the user's thread only
};

// A text as application/x-www-form-urlencoded writes it: a space as "+", letters,
// digits and "*-._" as they are, every other byte as %XX; line breaks as CR LF.
std::string FormUrlEncode(const std::string& text);
// The address the reference names, seen from the base; empty when there is none.
std::string ResolveUrl(const std::string& base, const std::string& reference);

}  // namespace standin::browser
