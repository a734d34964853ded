#include "BrowserEngine.hpp"

#include "Document.hpp"
#include "Win32.hpp"

#include <curl/curl.h>
#include <libxml/parser.h>

#include <cstring>

namespace standin::browser {
namespace {

constexpr const char* kUserAgent = "Mozilla/5.0 (stand-in embedded browser)";

void InitializeLibraries()
{
    static std::once_flag once;
    std::call_once(once, [] {
        curl_global_init(CURL_GLOBAL_DEFAULT);
        xmlInitParser();
    });
}

struct Sink {
    std::string* body;
    std::size_t limit;
    bool tooLarge = false;
};

std::size_t Write(char* data, std::size_t size, std::size_t count, void* user)
{
    auto* sink = static_cast<Sink*>(user);
    const std::size_t bytes = size * count;
    if (sink->body->size() + bytes > sink->limit) {
        sink->tooLarge = true;
        return 0;
    }
    sink->body->append(data, bytes);
    return bytes;
}

// "text/html; charset=utf-8" gives "text/html" and "utf-8".
void SplitContentType(const char* header, std::string& type, std::string& charset)
{
    const std::string text = header != nullptr ? header : "";
    const std::size_t semicolon = text.find(';');
    type = CollapseWhitespace(text.substr(0, semicolon));
    for (char& c : type)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    const std::size_t at = text.find("charset=", semicolon == std::string::npos ? text.size() : semicolon);
    if (at != std::string::npos) {
        charset = text.substr(at + 8);
        charset = charset.substr(0, charset.find_first_of("; "));
        if (charset.size() >= 2 && charset.front() == '"' && charset.back() == '"')
            charset = charset.substr(1, charset.size() - 2);
    }
}

bool IsPage(const std::string& type)
{
    return type.empty() || type.rfind("text/", 0) == 0 || type == "application/xhtml+xml";
}

bool IsWebAddress(const std::string& url) { return url.rfind("http://", 0) == 0 || url.rfind("https://", 0) == 0; }

}  // namespace

const char* ToString(LoadState state)
{
    switch (state) {
    case LoadState::Blank:
        return "blank";
    case LoadState::Loading:
        return "loading";
    case LoadState::Done:
        return "done";
    case LoadState::Failed:
        return "failed";
    case LoadState::Stopped:
        return "stopped";
    }
    return "?";
}

std::optional<std::string> Element::Attribute(const std::string& name) const
{
    for (const auto& [key, value] : attributes)
        if (key == name)
            return value;
    return std::nullopt;
}

BrowserEngine::BrowserEngine(EngineOptions options) : options_(std::move(options)) { InitializeLibraries(); }

BrowserEngine::~BrowserEngine() { StopLoad(); }

void BrowserEngine::LoadURL(const std::string& url) { Start(Request{Navigation{"GET", url, "", ""}, ""}); }

void BrowserEngine::LoadHTML(const std::string& html, const std::string& baseUrl)
{
    Start(Request{Navigation{"HTML", baseUrl, "text/html", html}, baseUrl});
}

void BrowserEngine::Start(Request request)
{
    StopLoad();
    {
        std::lock_guard lock(mutex_);
        state_ = LoadState::Loading;
        error_.clear();
        navigations_.push_back(request.navigation);
    }
    worker_ = std::thread([this, request = std::move(request)]() mutable { Run(std::move(request)); });
}

void BrowserEngine::StopLoad()
{
    if (!worker_.joinable())
        return;
    {
        std::lock_guard lock(mutex_);
        cancel_ = true;
        if (multi_ != nullptr)
            curl_multi_wakeup(static_cast<CURLM*>(multi_));
    }
    worker_.join();
    {
        std::lock_guard lock(mutex_);
        cancel_ = false;
    }
}

bool BrowserEngine::Cancelled() const
{
    std::lock_guard lock(mutex_);
    return cancel_;
}

LoadState BrowserEngine::WaitForLoad(std::chrono::milliseconds timeout)
{
    std::unique_lock lock(mutex_);
    changed_.wait_for(lock, timeout, [this] { return state_ != LoadState::Loading; });
    return state_;
}

void BrowserEngine::Run(Request request)
{
    auto finish = [this](LoadState state, std::string error) {
        {
            std::lock_guard lock(mutex_);
            state_ = cancel_ ? LoadState::Stopped : state;
            error_ = cancel_ ? "" : std::move(error);
        }
        changed_.notify_all();
    };

    for (int automatic = 0;; ++automatic) {
        const Navigation& navigation = request.navigation;
        Page page;
        std::shared_ptr<const Document> document;
        if (navigation.method == "HTML") {
            page.url = request.baseUrl;
            document = Document::Parse(navigation.body, page.url, "UTF-8");
        } else {
            if (!IsWebAddress(navigation.url))
                return finish(LoadState::Failed, "not a web address: " + navigation.url);
            Fetched fetched;
            std::string error = Fetch(navigation, fetched);
            if (Cancelled())
                break;
            if (!error.empty())
                return finish(LoadState::Failed, std::move(error));
            if (!IsPage(fetched.contentType))
                return finish(LoadState::Failed, fetched.url + " is no page but " + fetched.contentType);
            page.url = fetched.url;
            page.status = fetched.status;
            document = Document::Parse(fetched.body, page.url, fetched.charset);
        }
        page.document = document;
        {
            std::lock_guard lock(mutex_);
            if (cancel_)
                break;
            page_ = std::move(page);
        }
        const std::optional<std::string> formId = document->AutoSubmitFormId();
        if (!formId)
            return finish(LoadState::Done, "");
        const Node* form = document->Find(*formId);
        if (form == nullptr || !form->Is("form"))
            return finish(LoadState::Failed, "the page's script submits the form \"" + *formId + "\", which it lacks");
        if (automatic >= options_.maxAutomaticNavigations)
            return finish(LoadState::Failed, "more than " + std::to_string(options_.maxAutomaticNavigations) +
                                                  " pages in a row submitted themselves");
        Navigation next;
        std::string error = document->Submit(*form, nullptr, next);
        if (!error.empty())
            return finish(LoadState::Failed, std::move(error));
        {
            std::lock_guard lock(mutex_);
            navigations_.push_back(next);
        }
        request = Request{std::move(next), ""};
    }
    finish(LoadState::Stopped, "");
}

std::string BrowserEngine::Fetch(const Navigation& navigation, Fetched& fetched)
{
    CURL* easy = curl_easy_init();
    if (easy == nullptr)
        return "cannot start a transfer";
    char errorBuffer[CURL_ERROR_SIZE] = {};
    Sink sink{&fetched.body, options_.maxPageBytes};
    curl_slist* headers = nullptr;
    curl_easy_setopt(easy, CURLOPT_ERRORBUFFER, errorBuffer);
    curl_easy_setopt(easy, CURLOPT_URL, navigation.url.c_str());
    curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(easy, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(easy, CURLOPT_MAXREDIRS, 10L);
    curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(options_.connectTimeout.count()));
    curl_easy_setopt(easy, CURLOPT_TIMEOUT_MS, static_cast<long>(options_.requestTimeout.count()));
    curl_easy_setopt(easy, CURLOPT_USERAGENT, kUserAgent);
    curl_easy_setopt(easy, CURLOPT_ACCEPT_ENCODING, "");
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, Write);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, &sink);
    if (!options_.trustedAuthorityPem.empty()) {
        curl_blob blob{const_cast<char*>(options_.trustedAuthorityPem.data()), options_.trustedAuthorityPem.size(),
                       CURL_BLOB_COPY};
        curl_easy_setopt(easy, CURLOPT_CAINFO_BLOB, &blob);
    }
    if (navigation.method == "POST") {
        headers = curl_slist_append(headers, ("Content-Type: " + navigation.contentType).c_str());
        headers = curl_slist_append(headers, "Expect:");
        curl_easy_setopt(easy, CURLOPT_HTTPHEADER, headers);
        curl_easy_setopt(easy, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(navigation.body.size()));
        curl_easy_setopt(easy, CURLOPT_COPYPOSTFIELDS, navigation.body.c_str());
    }

    CURLM* multi = curl_multi_init();
    curl_multi_add_handle(multi, easy);
    {
        std::lock_guard lock(mutex_);
        multi_ = multi;
    }
    CURLcode result = CURLE_OK;
    bool cancelled = false;
    for (;;) {
        int running = 0;
        curl_multi_perform(multi, &running);
        if (running == 0)
            break;
        if ((cancelled = Cancelled()))
            break;
        curl_multi_poll(multi, nullptr, 0, 1000, nullptr);
        if ((cancelled = Cancelled()))
            break;
    }
    int queued = 0;
    while (CURLMsg* message = curl_multi_info_read(multi, &queued))
        if (message->msg == CURLMSG_DONE)
            result = message->data.result;
    {
        std::lock_guard lock(mutex_);
        multi_ = nullptr;
    }
    long status = 0;
    char* effective = nullptr;
    char* type = nullptr;
    curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &status);
    curl_easy_getinfo(easy, CURLINFO_EFFECTIVE_URL, &effective);
    curl_easy_getinfo(easy, CURLINFO_CONTENT_TYPE, &type);
    fetched.status = static_cast<int>(status);
    fetched.url = effective != nullptr ? effective : navigation.url;
    SplitContentType(type, fetched.contentType, fetched.charset);
    curl_multi_remove_handle(multi, easy);
    curl_multi_cleanup(multi);
    curl_easy_cleanup(easy);
    curl_slist_free_all(headers);

    if (cancelled)
        return "";
    if (sink.tooLarge)
        return navigation.url + " answered more than " + std::to_string(options_.maxPageBytes) + " bytes";
    if (result != CURLE_OK)
        return "cannot load " + navigation.url + ": " +
               (errorBuffer[0] != '\0' ? std::string(errorBuffer) : curl_easy_strerror(result));
    return "";
}

LoadState BrowserEngine::State() const
{
    std::lock_guard lock(mutex_);
    return state_;
}

std::string BrowserEngine::Error() const
{
    std::lock_guard lock(mutex_);
    return error_;
}

std::string BrowserEngine::Url() const
{
    std::lock_guard lock(mutex_);
    return page_.url;
}

int BrowserEngine::Status() const
{
    std::lock_guard lock(mutex_);
    return page_.status;
}

std::shared_ptr<const Document> BrowserEngine::Shown() const
{
    std::lock_guard lock(mutex_);
    return page_.document;
}

std::string BrowserEngine::Title() const
{
    const auto document = Shown();
    return document ? document->Title() : "";
}

std::string BrowserEngine::VisibleText() const
{
    const auto document = Shown();
    return document ? document->VisibleText() : "";
}

std::vector<Block> BrowserEngine::Layout() const
{
    const auto document = Shown();
    return document ? document->Layout() : std::vector<Block>{};
}

std::optional<Element> BrowserEngine::FindElement(const std::string& id) const
{
    const auto document = Shown();
    const Node* node = document ? document->Find(id) : nullptr;
    if (node == nullptr)
        return std::nullopt;
    return Element{node->name, node->attributes, node->Text()};
}

std::vector<std::string> BrowserEngine::ElementIds() const
{
    const auto document = Shown();
    return document ? document->Ids() : std::vector<std::string>{};
}

std::vector<Navigation> BrowserEngine::Navigations() const
{
    std::lock_guard lock(mutex_);
    return navigations_;
}

std::string BrowserEngine::FollowLink(const std::string& id)
{
    const auto document = Shown();
    const Node* link = document ? document->Find(id) : nullptr;
    if (link == nullptr)
        return "the page has no element \"" + id + "\"";
    const std::string* href = link->Attribute("href");
    if (!(link->Is("a") || link->Is("area")) || href == nullptr)
        return "the element \"" + id + "\" is no link";
    const std::string url = ResolveUrl(document->Url(), *href);
    if (!IsWebAddress(url))
        return "the link \"" + id + "\" leads to no web address: " + *href;
    Start(Request{Navigation{"GET", url, "", ""}, ""});
    return "";
}

std::string BrowserEngine::SubmitForm(const std::string& id)
{
    const auto document = Shown();
    std::vector<const Node*> ancestors;
    const Node* target = document ? document->Find(id, &ancestors) : nullptr;
    if (target == nullptr)
        return "the page has no element \"" + id + "\"";
    const Node* form = target;
    const Node* submitter = nullptr;
    if (!target->Is("form")) {
        if (!IsSubmitButton(*target))
            return "the element \"" + id + "\" is neither a form nor a submit button";
        if (target->Attribute("disabled") != nullptr)
            return "the button \"" + id + "\" is disabled";
        form = FormOf(ancestors);
        if (form == nullptr)
            return "the button \"" + id + "\" belongs to no form";
        submitter = target;
    }
    Navigation request;
    std::string error = document->Submit(*form, submitter, request);
    if (!error.empty())
        return error;
    Start(Request{std::move(request), ""});
    return "";
}

std::string BrowserEngine::Press(const std::string& id)
{
    const auto document = Shown();
    const Node* element = document ? document->Find(id) : nullptr;
    if (element == nullptr)
        return "the page has no element \"" + id + "\"";
    if (element->Attribute("disabled") != nullptr)
        return "the element \"" + id + "\" is disabled";
    const std::string* text = element->Attribute(kClipboardAttribute);
    if (text == nullptr)
        return std::string("the element \"") + id + "\" declares no " + kClipboardAttribute;

    // As a page's script does it: the clipboard is taken when free, emptied and given
    // the text; another program holding it makes the copy fail.
    const auto end = std::chrono::steady_clock::now() + options_.clipboardPatience;
    while (!OpenClipboard(nullptr)) {
        if (std::chrono::steady_clock::now() >= end)
            return "the clipboard is held by another program";
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, text->size() + 1);
    bool copied = false;
    if (block != nullptr) {
        char* bytes = static_cast<char*>(GlobalLock(block));
        std::memcpy(bytes, text->c_str(), text->size() + 1);
        GlobalUnlock(block);
        copied = EmptyClipboard() && SetClipboardData(CF_TEXT, block) != nullptr;
        if (!copied)
            GlobalFree(block);
    }
    CloseClipboard();
    return copied ? "" : "the clipboard did not take the text";
}

}  // namespace standin::browser
