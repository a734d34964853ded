#include "Session.hpp"

#include "GSRoot.hpp"
#include "Output.hpp"
#include "standin/CoreModules.hpp"
#include "standin/Dialogs.hpp"

#include <boost/filesystem/operations.hpp>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <utility>

namespace tarvel::runner {

namespace fs = boost::filesystem;
namespace dg = standin::dg;

std::string Hex(std::uint32_t code)
{
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(code));
    return text;
}

std::string Milliseconds(Clock::duration duration)
{
    const auto us = std::chrono::duration_cast<std::chrono::microseconds>(duration).count();
    if (us >= 10000)
        return std::to_string(us / 1000) + " ms";
    char text[32];
    std::snprintf(text, sizeof text, "%.1f ms", static_cast<double>(us) / 1000);
    return text;
}

Session::Session(Road& road, const Options& options, RunFolder& folder, const std::atomic<int>& interrupted)
    : road(road), options(options), folder_(folder), interrupted_(interrupted)
{
    dg::SetRefusalHandler([this](const std::string& message) {
        AddCause({"the dialog manager refused: " + message, ReportSize(), false});
    });
}

Session::~Session()
{
    // After a failed step the user's remaining actions will never be taken.
    dg::ClearScript();
    if (addOn && addOn->LastStep() == standin::AddOnLoader::Step::Started) {
        try {
            addOn->Stop();
        } catch (const std::exception& e) {
            std::cerr << "tarvel-host: " << e.what() << '\n';
        }
    }
    addOn.reset();
    host.reset();
    services.reset();
    dg::SetRefusalHandler({});
}

std::size_t Session::ReportSize()
{
    std::size_t size = 0;
    if (host)
        Get<standin::ReportModule>().ForEach([&size](const standin::ReportEntry&) { ++size; });
    return size;
}

void Session::Label(short resourceId, short item, const std::string& label) { labels_[{resourceId, item}] = label; }

const std::string& Session::Quiet(const std::string& action)
{
    return *quiet_.insert(action).first;
}

namespace {

// "open dialog 32504 \"About\" ..." gives the resource id and the title's end.
bool ReadPanel(const std::string& text, std::size_t at, short& resourceId, std::string& title, std::size_t& end)
{
    for (const char* kind : {"dialog ", "palette "}) {
        if (text.compare(at, std::strlen(kind), kind) != 0)
            continue;
        std::size_t pos = at + std::strlen(kind);
        const std::size_t blank = text.find(" \"", pos);
        if (blank == std::string::npos)
            return false;
        resourceId = static_cast<short>(std::atoi(text.substr(pos, blank - pos).c_str()));
        // The title runs to the quotation mark before ":" or the end.
        std::size_t close = text.find("\": ", blank + 2);
        if (close == std::string::npos)
            close = text.rfind('"');
        if (close == std::string::npos || close <= blank + 1)
            return false;
        title = text.substr(blank + 2, close - blank - 2);
        end = close + 1;
        return true;
    }
    return false;
}

std::string StripItem(std::string what)
{
    // "... on item 2": the page is the browser's; the item is a contract detail.
    const std::size_t on = what.rfind(" on item ");
    if (on != std::string::npos)
        what.erase(on);
    return what;
}

}  // namespace

std::string Session::Plain(const std::string& step)
{
    short id = 0;
    std::string title;
    std::size_t end = 0;
    for (const char* verb : {"open ", "close "}) {
        if (step.rfind(verb, 0) == 0 && ReadPanel(step, std::strlen(verb), id, title, end)) {
            const std::string kind = step.find("palette ") == std::strlen(verb) ? "palette" : "dialog";
            std::string line = "the \"" + title + "\" " + kind + (verb[0] == 'o' ? " opens" : " closes");
            // A dialog the user closed with its "Close" button just closes.
            const bool closed = verb[0] == 'c' && lastClicked_[id] == "\"Close\"";
            lastClicked_.erase(id);
            if (closed)
                return line;
            if (step.find("(accepted)", end) != std::string::npos)
                line += " (accepted)";
            else if (step.find("(cancelled)", end) != std::string::npos)
                line += " (cancelled)";
            return line;
        }
    }
    if (step.rfind("alert ", 0) == 0) {
        const std::size_t answered = step.find(": answered ");
        if (answered != std::string::npos) {
            const std::size_t button = step.find(" \"", answered + 11);
            return "the alert " + step.substr(6, answered - 6) + " is answered with " +
                   (button == std::string::npos ? step.substr(answered + 11) : step.substr(button + 1));
        }
        return step;
    }
    if (!ReadPanel(step, 0, id, title, end) || step.compare(end, 2, ": ") != 0)
        return step;
    const std::string what = step.substr(end + 2);
    const std::string where = "in \"" + title + "\": ";
    auto label = [&](const std::string& rest) {
        const short item = static_cast<short>(std::atoi(rest.c_str()));
        const auto it = labels_.find({id, item});
        if (it != labels_.end())
            return it->second;
        if (const auto found = dg::FindItem(id, item); found && !found->text.empty())
            return "\"" + found->text + "\"";
        return "item " + rest;
    };
    if (what.rfind("click item ", 0) == 0)
        return where + "the user clicks " + (lastClicked_[id] = label(what.substr(11)));
    if (what.rfind("point at item ", 0) == 0)
        return where + "the user points at " + label(what.substr(14));
    if (what.rfind("tooltip ", 0) == 0)
        return where + "the tooltip says " + what.substr(8);
    if (what.rfind("picture to ", 0) == 0) {
        // Written whole or not at all: the file tells whether it was.
        const std::string path = what.substr(11);
        boost::system::error_code error;
        return where + (fs::exists(path, error) ? "picture " : "no picture written to ") + path;
    }
    if (what.rfind("wait until the page of item ", 0) == 0)
        return where + "the user waits until the page has loaded";
    if (what.rfind("wait until ", 0) == 0)
        return where + "the user waits until " + what.substr(11);
    if (quiet_.count(what) != 0)
        return {};
    std::string plain = StripItem(what);
    for (const auto& [verb, says] : {std::pair<const char*, const char*>{"tick ", "ticks "},
                                     {"follow ", "follows "},
                                     {"press ", "presses "},
                                     {"submit ", "submits "},
                                     {"type ", "types "}})
        if (plain.rfind(verb, 0) == 0)
            return where + "the user " + says + plain.substr(std::strlen(verb));
    return where + "the user: " + plain;
}

std::string Session::OneSeparator(std::string text) const
{
    const std::string root = fs::absolute(options.out).string();
    for (std::size_t at = text.find(root); at != std::string::npos; at = text.find(root, at + 1))
        for (std::size_t i = at + root.size(); i < text.size() && text[i] != '\n'; ++i)
            if (text[i] == '\\')
                text[i] = '/';
    return text;
}

namespace {

std::string StatusText(int status)
{
    switch (status) {
    case 400: return "Bad Request";
    case 403: return "Forbidden";
    case 404: return "Not Found";
    case 405: return "Method Not Allowed";
    case 413: return "Payload Too Large";
    case 415: return "Unsupported Media Type";
    case 500: return "Internal Server Error";
    case 502: return "Bad Gateway";
    case 503: return "Service Unavailable";
    default: return {};
    }
}

// What an answer's body says: its title, or its text without the markup.
std::string Said(const std::string& body)
{
    std::string text;
    const std::size_t title = body.find("<title>");
    if (title != std::string::npos)
        text = body.substr(title + 7, body.find("</title>", title) - title - 7);
    else
        for (bool tag = false; char c : body) {
            if (c == '<' || c == '>')
                tag = c == '<';
            else if (!tag)
                text += c == '\n' || c == '\r' || c == '\t' ? ' ' : c;
        }
    while (!text.empty() && text.back() == ' ')
        text.pop_back();
    return text;
}

}  // namespace

void Session::CheckServices()
{
    if (!services)
        return;
    // From the first request still unanswered at the last look; the bodies, which may
    // be megabytes of a posted configuration, are not needed here.
    const auto requests = services->Requests(requestsSeen_, false);
    for (std::size_t k = 0; k < requests.size(); ++k) {
        const auto& request = requests[k];
        // A semaphore answers 404 until the product is ready: that is no refusal.
        if (request.status < 400 || (request.status == 404 && request.path.ends_with("/ready")) ||
            !refusalsNoted_.insert(requestsSeen_ + k).second)
            continue;
        const std::string said = Said(request.answer);
        NoteCause("the loopback service refused " + request.method + " " + request.path + ": " +
                  std::to_string(request.status) +
                  (StatusText(request.status).empty() ? "" : " " + StatusText(request.status)) +
                  (said.empty() ? "" : " (\"" + said + "\")"));
    }
    // The next look begins at the first request still unanswered.
    for (std::size_t k = 0; k < requests.size() && requests[k].status != 0; ++k)
        ++requestsSeen_;
}

void Session::CheckInterrupted()
{
    if (interrupted_ == 0 || interruptionNoted_)
        return;
    interruptionNoted_ = true;
    NoteCause(std::string("the run was interrupted (") + (interrupted_ == SIGINT ? "Ctrl-C" : "SIGTERM") + ")");
}

void Session::Suspect(const std::string& cause) { suspect_ = cause; }

void Session::Flush()
{
    CheckInterrupted();
    CheckServices();
    if (!host)
        return;
    const auto steps = dg::Steps();
    for (; dialogStepsSeen_ < steps.size(); ++dialogStepsSeen_) {
        const std::string line = options.verbose ? "user: " + steps[dialogStepsSeen_] : Plain(steps[dialogStepsSeen_]);
        if (!line.empty())
            road.Say(line);
    }
    const auto entries = Get<standin::ReportModule>().Entries();
    for (; reportSeen_ < entries.size(); ++reportSeen_) {
        const auto& entry = entries[reportSeen_];
        const std::string text = OneSeparator(GS::UniString(entry.text).ToUtf8());
        road.Say(std::string(entry.alert ? "Session Report (alert): " : "Session Report: ") + text);
        if (entry.alert)
            AddCause({"the add-on reported an error: " + text, reportSeen_, true});
    }
}

void Session::Say(const std::string& line)
{
    Flush();
    road.Say(line);
}

void Session::Detail(const std::string& line)
{
    if (options.verbose)
        Say(line);
}

void Session::Stage(const std::string& name)
{
    Flush();
    road.Stage(name);
}

void Session::NoteCause(const std::string& cause) { AddCause({cause, ReportSize(), false}); }

void Session::AddCause(Cause cause)
{
    std::lock_guard lock(causesMutex_);
    // What the road looks at again and again (a page that failed) is one cause.
    if (std::none_of(causes_.begin(), causes_.end(), [&](const Cause& c) { return c.text == cause.text; }))
        causes_.push_back(std::move(cause));
}

bool Session::HasCause()
{
    Flush();
    std::lock_guard lock(causesMutex_);
    return !causes_.empty();
}

bool Session::GivingUp()
{
    if (!HasCause())
        return false;
    if (!gaveUp_) {
        gaveUp_ = true;
        // The user closes every dialog still open, after what is already under way (this
        // runs inside one of the user's actions, whose script must stay as it is); a
        // dialog that will not close waits only briefly before the dialog manager ends it.
        for (const dg::PanelInfo& panel : dg::Panels())
            if (panel.running)
                dg::User(panel.resourceId).CloseBox();
        patienceBefore_ = dg::Patience();
        dg::SetPatience(std::chrono::milliseconds{2000});
        road.Say("the user gives up the step");
    }
    return true;
}

void Session::BeforeStep()
{
    gaveUp_ = false;
    suspect_.clear();
    {
        std::lock_guard lock(causesMutex_);
        causes_.clear();
    }
    // Once interrupted, every later step is over before it begins.
    if (interrupted_ != 0)
        throw StepFailed(std::string("the run was interrupted (") + (interrupted_ == SIGINT ? "Ctrl-C" : "SIGTERM") +
                         ")");
}

void Session::AfterStep()
{
    Flush();
    if (gaveUp_) {
        dg::ClearScript();
        dg::SetPatience(patienceBefore_);
    }
    std::vector<Cause> causes;
    {
        std::lock_guard lock(causesMutex_);
        causes = std::exchange(causes_, {});
    }
    // In the order they came: an alert is the report line at its index; a refusal came
    // after the lines before its index.
    const auto order = [](const Cause& cause) { return 2 * cause.reportAt + (cause.alert ? 1 : 0); };
    std::stable_sort(causes.begin(), causes.end(),
                     [&](const Cause& a, const Cause& b) { return order(a) < order(b); });
    if (!suspect_.empty() && std::any_of(causes.begin(), causes.end(), [](const Cause& c) { return c.alert; }))
        causes.insert(causes.begin(), {suspect_, 0, false});
    if (const auto written = folder_.Record(false))
        causes.push_back({*written, 0, false});
    if (!causes.empty()) {
        std::vector<std::string> later;
        for (std::size_t i = 1; i < causes.size(); ++i)
            later.push_back(causes[i].text);
        throw StepFailed(causes.front().text, std::move(later));
    }
    if (host)
        CheckHandlers();
}

std::string Session::NextPicture(const std::string& name)
{
    const fs::path folder = fs::absolute(options.out) / "pictures";
    fs::create_directories(folder);
    char number[8];
    std::snprintf(number, sizeof number, "%02zu ", pictures_.size() + 1);
    pictures_.push_back((folder / (number + name + ".png")).string());
    return pictures_.back();
}

fs::path Session::DataRoot() const { return fs::absolute(options.out) / "Tarvel" / "daVED" / "ArchiCAD"; }

void Session::CheckHandlers()
{
    const auto escaped = Registrations().EscapedExceptions();
    if (escaped.size() > escapedSeen_) {
        escapedSeen_ = escaped.size();
        throw StepFailed("an exception left the add-on: " + escaped.back());
    }
}

void Session::ChooseMenu(std::int16_t menu)
{
    const auto answer = Registrations().ChooseMenu(menu);
    if (!answer)
        throw StepFailed("menu " + std::to_string(menu) + " has no command handler");
    CheckHandlers();
    if (*answer != 0)
        throw StepFailed("the command answered " + Hex(*answer));
}

}  // namespace tarvel::runner
