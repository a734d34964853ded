#include "standin/AddOn.hpp"
#include "standin/CoreModules.hpp"

#include <dlfcn.h>

#include <array>
#include <cstring>
#include <exception>
#include <thread>

namespace standin {
namespace {

using namespace HostInterface;

template <typename T>
T Read(const std::array<unsigned char, ExportTableBytes>& table, std::size_t offset)
{
    T value;
    std::memcpy(&value, table.data() + offset, sizeof value);
    return value;
}

const char* StepName(AddOnLoader::Step step)
{
    switch (step) {
    case AddOnLoader::Step::Opened: return "opened";
    case AddOnLoader::Step::ExportsRead: return "with its exports read";
    case AddOnLoader::Step::Installed: return "installed";
    case AddOnLoader::Step::Declined: return "declining to run here";
    case AddOnLoader::Step::Identified: return "identified";
    case AddOnLoader::Step::RegisterFailed: return "failed in its registration";
    case AddOnLoader::Step::Registered: return "registered";
    case AddOnLoader::Step::Started: return "started";
    case AddOnLoader::Step::Stopped: return "stopped";
    case AddOnLoader::Step::Unloaded: return "unloaded";
    }
    return "?";
}

std::string Hex(GSErrCode code)
{
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(code));
    return text;
}

}  // namespace

AddOnLoader::AddOnLoader(Host& host, const std::string& libraryFile) : host_(host)
{
    library_ = dlopen(libraryFile.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (library_ == nullptr) {
        const char* error = dlerror();
        throw ContractError("the add-on's library file does not load: " + std::string(error ? error : libraryFile));
    }
    exports_.getExports = reinterpret_cast<GetExportedFuncAddrsFn>(dlsym(library_, ExportedFuncAddrsName));
    exports_.setImports = reinterpret_cast<SetImportedFuncAddrsFn>(dlsym(library_, ImportedFuncAddrsName));
    if (exports_.getExports == nullptr || exports_.setImports == nullptr) {
        dlclose(library_);
        library_ = nullptr;
        throw ContractError(std::string("the add-on's library file lacks ") +
                            (exports_.getExports == nullptr ? ExportedFuncAddrsName : ImportedFuncAddrsName));
    }
}

AddOnLoader::AddOnLoader(Host& host, AddOnExports exports) : host_(host), exports_(exports)
{
    if (exports_.getExports == nullptr || exports_.setImports == nullptr)
        throw ContractError("the add-on lacks one of its two exports");
}

AddOnLoader::~AddOnLoader()
{
    if (step_ != Step::Unloaded)
        Unload();
}

void AddOnLoader::Expect(Step expected, const char* what) const
{
    if (std::this_thread::get_id() != host_.UiThread())
        throw ContractError(std::string(what) + ": the host calls the add-on on its user-interface thread only");
    if (step_ != expected)
        throw ContractError(std::string(what) + " out of order: the add-on is " + StepName(step_) + ", not " +
                            StepName(expected));
}

const EntryPoints& AddOnLoader::ReadExports()
{
    Expect(Step::Opened, "reading the exports");
    std::array<unsigned char, ExportTableBytes> table;
    // Filled with a pattern first: the add-on must zero what it does not set.
    table.fill(0xCD);
    try {
        exports_.getExports(table.data());
    } catch (...) {
        throw ContractError(std::string("an exception left ") + ExportedFuncAddrsName);
    }
    if (Read<std::int32_t>(table, ExportFormatOffset) != ExportFormatWord)
        throw ContractError("the export table's format word is " + Hex(Read<std::int32_t>(table, ExportFormatOffset)) +
                            ", not 0x001C0001");
    if (Read<std::int32_t>(table, ExportLevelOffset) != ApiLevel)
        throw ContractError("the export table's interface level is " +
                            std::to_string(Read<std::int32_t>(table, ExportLevelOffset)) + ", not 28000");
    for (std::size_t i = 0; i < ExportTableBytes; ++i) {
        const bool written = i < ExportFormatOffset + 4 || (i >= ExportIdentifyOffset && i < ExportStopOffset + 8) ||
                             (i >= ExportLevelOffset && i < ExportLevelOffset + 4);
        if (!written && table[i] != 0)
            throw ContractError("byte " + std::to_string(i) + " of the export table is not zero");
    }
    entries_.identify = Read<IdentifyAddOnFn>(table, ExportIdentifyOffset);
    entries_.registerMenus = Read<RegisterMenusFn>(table, ExportRegisterOffset);
    entries_.start = Read<StartAddOnFn>(table, ExportStartOffset);
    entries_.stop = Read<StopAddOnFn>(table, ExportStopOffset);
    if (entries_.identify == nullptr || entries_.registerMenus == nullptr || entries_.start == nullptr ||
        entries_.stop == nullptr)
        throw ContractError("the export table lacks an entry point");
    step_ = Step::ExportsRead;
    return entries_;
}

void AddOnLoader::Install()
{
    Expect(Step::ExportsRead, "installing the function table");
    GSErrCode answer = 0;
    try {
        answer = exports_.setImports(host_.FunctionTableData());
    } catch (...) {
        throw ContractError(std::string("an exception left ") + ImportedFuncAddrsName);
    }
    if (answer != 0)
        throw ContractError(std::string(ImportedFuncAddrsName) + " answered " + Hex(answer) + ", not 0");
    step_ = Step::Installed;
}

std::int32_t AddOnLoader::Identify(std::int32_t applicationId)
{
    Expect(Step::Installed, "the environment check");
    // The host knows an add-on by its identity resource before it asks anything of it.
    if (!host_.Module<ResourceModule>().Identity())
        throw ContractError("the add-on has no identity resource MDID 32500 (a length of 8 and two 32-bit numbers)");
    environment_ = EnvironmentRecord{};
    environment_.applicationId = applicationId;
    environment_.mainVersion = 28;
    environment_.buildNumber = 3001;
    std::int32_t answer = 0;
    try {
        answer = entries_.identify(&environment_);
    } catch (const std::exception& e) {
        throw ContractError(std::string("an exception left the environment check: ") + e.what());
    } catch (...) {
        throw ContractError("an exception left the environment check");
    }
    if (answer == 0) {
        step_ = Step::Declined;
        return answer;
    }
    if (answer != IdentifyLoad)
        throw ContractError("the environment check answered " + std::to_string(answer) + ", neither 0 nor 2");
    if (environment_.addOnName.GetLength() == 0 || environment_.addOnDescription.GetLength() == 0)
        throw ContractError("the environment check answered 2 without the add-on's name and description");
    step_ = Step::Identified;
    return answer;
}

template <typename F>
GSErrCode AddOnLoader::RunEntryPoint(const char* name, RegistrationModule::Phase phase, F&& entry)
{
    auto& registrations = host_.Module<RegistrationModule>();
    registrations.SetPhase(phase);
    const std::size_t first = host_.Calls().size();
    GSErrCode answer = 0;
    try {
        answer = entry();
    } catch (const std::exception& e) {
        registrations.SetPhase(RegistrationModule::Phase::NotLoaded);
        throw ContractError(std::string("an exception left ") + name + ": " + e.what());
    } catch (...) {
        registrations.SetPhase(RegistrationModule::Phase::NotLoaded);
        throw ContractError(std::string("an exception left ") + name);
    }
    if (answer != 0 && answer != ErrGeneral) {
        // An error the add-on passes on must be one the host gave it.
        const auto calls = host_.Calls();
        bool given = false;
        for (std::size_t i = first; i < calls.size() && !given; ++i)
            given = calls[i].result == answer;
        if (!given) {
            registrations.SetPhase(RegistrationModule::Phase::NotLoaded);
            throw ContractError(std::string(name) + " answered " + Hex(answer) + ", a code no host call gave it");
        }
    }
    return answer;
}

GSErrCode AddOnLoader::Register()
{
    Expect(Step::Identified, "the interface registration");
    const GSErrCode answer =
        RunEntryPoint("the interface registration", RegistrationModule::Phase::Registering, entries_.registerMenus);
    host_.Module<RegistrationModule>().SetPhase(RegistrationModule::Phase::NotLoaded);
    step_ = answer == 0 ? Step::Registered : Step::RegisterFailed;
    return answer;
}

GSErrCode AddOnLoader::Start()
{
    Expect(Step::Registered, "the initialisation");
    const GSErrCode answer = RunEntryPoint("the initialisation", RegistrationModule::Phase::Starting, entries_.start);
    // A failed initialisation gets no command or notification; only its clean-up.
    host_.Module<RegistrationModule>().SetPhase(answer == 0 ? RegistrationModule::Phase::Running
                                                            : RegistrationModule::Phase::NotLoaded);
    step_ = Step::Started;
    return answer;
}

GSErrCode AddOnLoader::Stop()
{
    Expect(Step::Started, "the clean-up");
    const GSErrCode answer = RunEntryPoint("the clean-up", RegistrationModule::Phase::Stopping, entries_.stop);
    host_.Module<RegistrationModule>().SetPhase(RegistrationModule::Phase::NotLoaded);
    step_ = Step::Stopped;
    return answer;
}

void AddOnLoader::Unload()
{
    if (step_ == Step::Unloaded)
        throw ContractError("the add-on is unloaded already");
    // Nothing of the add-on may be called after this: its code goes away.
    host_.Module<RegistrationModule>().Reset();
    if (library_ != nullptr) {
        dlclose(library_);
        library_ = nullptr;
    }
    entries_ = EntryPoints{};
    step_ = Step::Unloaded;
}

}  // namespace standin
