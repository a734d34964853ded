#include "standin/CoreModules.hpp"

#include <iostream>

namespace standin {
namespace {

GSErrCode Report(const GS::UniString& text, bool alert)
{
    Host::Current().Module<ReportModule>().Add(text, alert);
    return 0;
}

}  // namespace

void ReportModule::Install(FunctionTable& table)
{
    table.Provide<HostInterface::Slot::Report, &Report>();
}

void ReportModule::Add(const GS::UniString& text, bool alert)
{
    std::lock_guard lock(mutex_);
    entries_.push_back(ReportEntry{text.Units(), alert, std::this_thread::get_id()});
    if (host_.Options().echoReport)
        std::cerr << (alert ? "[alert] " : "[report] ") << text.ToUtf8() << '\n';
}

std::vector<ReportEntry> ReportModule::Entries() const
{
    std::lock_guard lock(mutex_);
    return entries_;
}

std::vector<std::string> ReportModule::Lines() const
{
    std::lock_guard lock(mutex_);
    std::vector<std::string> lines;
    for (const auto& entry : entries_)
        lines.push_back(GS::UniString(entry.text).ToUtf8());
    return lines;
}

std::vector<std::string> ReportModule::Alerts() const
{
    std::lock_guard lock(mutex_);
    std::vector<std::string> alerts;
    for (const auto& entry : entries_)
        if (entry.alert)
            alerts.push_back(GS::UniString(entry.text).ToUtf8());
    return alerts;
}

void ReportModule::Clear()
{
    std::lock_guard lock(mutex_);
    entries_.clear();
}

}  // namespace standin
