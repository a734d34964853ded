// The core modules of the stand-in host: Session Report, resources, add-on location.
#pragma once

#include "standin/Host.hpp"

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace standin {

struct ReportEntry {
    std::u16string text;
    bool alert;
    std::thread::id thread;
};

// The Session Report: every line in order; a line with the alert flag is also an alert.
// Alerts return at once: a modal answer would block the thread that reports.
class ReportModule : public HostModule {
public:
    explicit ReportModule(Host& host) : host_(host) {}
    void Install(FunctionTable& table) override;

    void Add(const GS::UniString& text, bool alert);
    std::vector<ReportEntry> Entries() const;
    // Calls f with every entry in order, without a copy of the report (the report
    // is locked meanwhile: f must not report).
    template <typename F>
    void ForEach(F&& f) const
    {
        std::lock_guard lock(mutex_);
        for (const auto& entry : entries_)
            f(entry);
    }
    // The lines (alerts included) and the alerts alone, as UTF-8.
    std::vector<std::string> Lines() const;
    std::vector<std::string> Alerts() const;
    void Clear();

private:
    Host& host_;
    mutable std::mutex mutex_;
    std::vector<ReportEntry> entries_;
};

// The add-on's resource module: string lists, read from the resource folder.
class ResourceModule : public HostModule {
public:
    static constexpr GSResModule AddOnModule = 1000;
    static constexpr GSResModule BuiltInModule = -4;

    explicit ResourceModule(Host& host);
    void Install(FunctionTable& table) override;

    // The entry's UTF-16 text, or nothing when the list or the entry does not exist.
    const std::u16string* String(std::int16_t list, std::int16_t index) const;
    // The two numbers of the add-on's identity resource (MDID 32500), or nothing when
    // identity.json lacks it or it is not a length of 8 followed by two 32-bit numbers.
    std::optional<std::array<std::uint32_t, 2>> Identity() const { return identity_; }

private:
    void ReadIdentity(const std::string& resourceDir);

    std::map<std::pair<std::int16_t, std::int16_t>, std::u16string> strings_;
    std::optional<std::array<std::uint32_t, 2>> identity_;
};

// The location of the add-on file.
class LocationModule : public HostModule {
public:
    explicit LocationModule(Host& host);
    void Install(FunctionTable& table) override;

    // Empty: the host cannot give the location.
    void SetAddOnFile(const std::string& path);
    std::string AddOnFile() const;

private:
    mutable std::mutex mutex_;
    std::string addOnFile_;
};

// The dialog manager's life with the host's: started with the add-on's resource
// module (its dialogs and icons), stopped at shutdown, when everything the add-on
// left alive is refused.
class DialogModule : public HostModule {
public:
    explicit DialogModule(Host& host);
    ~DialogModule() override;
    void Install(FunctionTable& table) override {}
};

}  // namespace standin
