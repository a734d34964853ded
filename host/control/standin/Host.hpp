// The stand-in host application. One Host runs per process at a time: it fills
// the function table with the operations its modules provide and keeps what they
// hold (the Session Report, the resources, ...) inspectable for tests.
#pragma once

#include "HostInterface.hpp"

#include <array>
#include <stdexcept>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <type_traits>
#include <utility>
#include <typeinfo>
#include <vector>

namespace standin {

struct HostOptions {
    // Path text of the file system's special location 9, the root of the add-on's data.
    std::string specialLocation;
    // Path of the add-on file; empty when the host cannot give its location.
    std::string addOnFile;
    // Folder holding the add-on's resource files (strings.json, ...).
    std::string resourceDir;
    // The user's proxy setting as Windows hands it to the add-on; empty: none configured.
    std::string userProxy;
    // Write every Session Report line to standard error as it arrives.
    bool echoReport = false;
    // Folders (path text) that are the active libraries at start; their saved parts are read.
    std::vector<std::string> activeLibraries;
};

// The default resource folder: the add-on's resources in the source tree.
std::string DefaultResourceDir();

class Host;

// The table entry of operation S: records the call with its thread, answers a failure
// injected with Host::FailCall, and otherwise runs the module's implementation, which
// has exactly the listed signature.
template <HostInterface::Slot S, auto Implementation,
          typename Signature = typename HostInterface::Operation<S>::Type>
struct TableEntry;

class FunctionTable {
public:
    FunctionTable() { entries_.fill(nullptr); }

    // Fills the slot of operation S with its entry around `Implementation`.
    template <HostInterface::Slot S, auto Implementation>
    void Provide()
    {
        entries_.at(HostInterface::SlotIndex(S)) =
            reinterpret_cast<HostInterface::Entry>(&TableEntry<S, Implementation>::Call);
    }
    void Clear(HostInterface::Slot slot) { entries_.at(HostInterface::SlotIndex(slot)) = nullptr; }
    bool IsSet(HostInterface::Slot slot) const { return entries_.at(HostInterface::SlotIndex(slot)) != nullptr; }
    // The 643 entries, laid out as the host hands them to an add-on.
    const HostInterface::Entry* Data() const { return entries_.data(); }

private:
    std::array<HostInterface::Entry, HostInterface::FunctionTableEntries> entries_;
};

// A family of host operations with the state it keeps. A module fills its slots
// of the function table when the host starts.
class HostModule {
public:
    virtual ~HostModule() = default;
    virtual void Install(FunctionTable& table) = 0;
};

// Creates every module of the stand-in host (one line per module in ModuleList.cpp).
std::vector<std::unique_ptr<HostModule>> CreateModules(Host& host);

struct CallRecord {
    HostInterface::Slot slot;
    std::thread::id thread;
    // The error code the call answered (0 for operations that answer none).
    GSErrCode result = 0;
};

class Host {
public:
    explicit Host(HostOptions options = {});
    ~Host();
    Host(const Host&) = delete;
    Host& operator=(const Host&) = delete;

    // The running host; throws std::logic_error when none runs.
    static Host& Current();
    static Host* TryCurrent();

    const HostOptions& Options() const { return options_; }
    FunctionTable& Table() { return table_; }
    const HostInterface::Entry* FunctionTableData() const { return table_.Data(); }

    template <typename M>
    M& Module()
    {
        // Modules are looked up on every call of an operation: the exact type first.
        for (auto& module : modules_) {
            HostModule& each = *module;
            if (typeid(each) == typeid(M))
                return static_cast<M&>(each);
        }
        for (auto& module : modules_)
            if (auto* typed = dynamic_cast<M*>(module.get()))
                return *typed;
        throw std::logic_error("stand-in host module missing");
    }

    // The thread the host was started on: the user-interface thread.
    std::thread::id UiThread() const { return uiThread_; }

    // The call after the next `skip` calls of the slot answers `code`, `times` times.
    void FailCall(HostInterface::Slot slot, GSErrCode code, int skip = 0, int times = 1);
    void ClearFailures();

    // Every table entry starts here: records the call and answers an injected failure.
    // `index` receives the call's place in Calls().
    GSErrCode EnterCall(HostInterface::Slot slot, std::size_t* index = nullptr);
    // The error code the call at that place answered.
    void RecordResult(std::size_t index, GSErrCode result);

    std::vector<CallRecord> Calls() const;
    std::size_t CallCount(HostInterface::Slot slot) const;
    std::vector<CallRecord> CallsOffUiThread() const;

private:
    struct Failure {
        GSErrCode code;
        int skip;
        int times;
    };

    HostOptions options_;
    FunctionTable table_;
    std::vector<std::unique_ptr<HostModule>> modules_;
    std::thread::id uiThread_;
    mutable std::mutex mutex_;
    std::map<HostInterface::Slot, Failure> failures_;
    std::vector<CallRecord> calls_;
};

// The entry of each operation is generated from its listed signature.
template <HostInterface::Slot S, auto Implementation, typename R, typename... Args>
struct TableEntry<S, Implementation, R(Args...)> {
    static_assert(std::is_same_v<decltype(Implementation), R (*)(Args...)>,
                  "the implementation must have the operation's listed signature");
    static R Call(Args... args)
    {
        Host& host = Host::Current();
        std::size_t index = 0;
        if (const GSErrCode injected = host.EnterCall(S, &index); injected != 0)
            return injected;
        if constexpr (HostInterface::AnswersErrorCode<S>) {
            const R result = Implementation(std::forward<Args>(args)...);
            host.RecordResult(index, result);
            return result;
        } else {
            return Implementation(std::forward<Args>(args)...);
        }
    }
};

}  // namespace standin
