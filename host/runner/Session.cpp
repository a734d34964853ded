#include "Session.hpp"

#include "GSRoot.hpp"
#include "standin/CoreModules.hpp"
#include "standin/Dialogs.hpp"

#include <boost/filesystem/operations.hpp>

#include <cstdio>
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

Session::Session(Road& road, const Options& options) : road(road), options(options)
{
    dg::SetRefusalHandler([this](const std::string& message) {
        std::lock_guard lock(refusalsMutex_);
        refusals_.push_back(message);
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

void Session::Flush()
{
    if (!host)
        return;
    const auto steps = dg::Steps();
    for (; dialogStepsSeen_ < steps.size(); ++dialogStepsSeen_)
        road.Say("user: " + steps[dialogStepsSeen_]);
    const auto entries = Get<standin::ReportModule>().Entries();
    for (; reportSeen_ < entries.size(); ++reportSeen_) {
        const auto& entry = entries[reportSeen_];
        const std::string text = GS::UniString(entry.text).ToUtf8();
        road.Say(std::string(entry.alert ? "Session Report (alert): " : "Session Report: ") + text);
        if (entry.alert)
            alerts_.push_back(text);
    }
}

void Session::Say(const std::string& line)
{
    Flush();
    road.Say(line);
}

void Session::Stage(const std::string& name)
{
    Flush();
    road.Stage(name);
}

std::vector<std::string> Session::TakeRefusals()
{
    std::lock_guard lock(refusalsMutex_);
    return std::exchange(refusals_, {});
}

void Session::AfterStep()
{
    Flush();
    const auto refused = TakeRefusals();
    for (std::size_t i = 1; i < refused.size(); ++i)
        road.Say("also refused: " + refused[i]);
    if (!refused.empty())
        throw StepFailed("the dialog manager refused: " + refused.front());
    if (host)
        CheckHandlers();
    if (const auto alerts = std::exchange(alerts_, {}); !alerts.empty())
        throw StepFailed("the add-on reported an error: " + alerts.front());
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
