#include "HostSession.hpp"
#include "HostInterface.hpp"

#include <gtest/gtest.h>

#include <dlfcn.h>

#include <array>
#include <cstdint>
#include <cstring>
#include <string>

namespace {

using namespace HostInterface;

template <typename T>
T Read(const std::array<unsigned char, ExportTableBytes>& table, std::size_t offset)
{
    T value;
    std::memcpy(&value, table.data() + offset, sizeof value);
    return value;
}

// The add-on's library file opened as the host opens it.
class AddOnLibrary {
public:
    AddOnLibrary() : handle_(dlopen(TARVEL_ADDON_FILE, RTLD_NOW | RTLD_LOCAL))
    {
        if (handle_ == nullptr)
            ADD_FAILURE() << dlerror();
    }
    ~AddOnLibrary()
    {
        if (handle_ != nullptr)
            dlclose(handle_);
    }
    AddOnLibrary(const AddOnLibrary&) = delete;
    AddOnLibrary& operator=(const AddOnLibrary&) = delete;

    template <typename F>
    F Export(const char* name) const
    {
        return handle_ != nullptr ? reinterpret_cast<F>(dlsym(handle_, name)) : nullptr;
    }

private:
    void* handle_;
};

// Whether code at this address lies in the add-on's library file.
bool InAddOnFile(const void* address)
{
    Dl_info info{};
    return dladdr(address, &info) != 0 && info.dli_fname != nullptr &&
           std::string(info.dli_fname) == TARVEL_ADDON_FILE;
}

TEST(AddOnLoadTest, ExportTableAndEntryPointsBeforeAndAfterInstallation)
{
    // The test's own framework copy has a table installed; the add-on has its own
    // state and must still answer as before installation.
    tarvel::tools::HostSession session;
    AddOnLibrary addOn;
    const auto getExports = addOn.Export<GetExportedFuncAddrsFn>(ExportedFuncAddrsName);
    const auto setImports = addOn.Export<SetImportedFuncAddrsFn>(ImportedFuncAddrsName);
    ASSERT_NE(getExports, nullptr);
    ASSERT_NE(setImports, nullptr);

    std::array<unsigned char, ExportTableBytes> table;
    table.fill(0xCD);
    getExports(table.data());
    EXPECT_EQ(Read<std::int32_t>(table, ExportFormatOffset), 0x001C0001);
    EXPECT_EQ(Read<std::int32_t>(table, ExportLevelOffset), 28000);
    const auto identify = Read<IdentifyAddOnFn>(table, ExportIdentifyOffset);
    const auto registerMenus = Read<RegisterMenusFn>(table, ExportRegisterOffset);
    const auto start = Read<StartAddOnFn>(table, ExportStartOffset);
    const auto stop = Read<StopAddOnFn>(table, ExportStopOffset);
    for (const void* entry : {reinterpret_cast<const void*>(identify), reinterpret_cast<const void*>(registerMenus),
                              reinterpret_cast<const void*>(start), reinterpret_cast<const void*>(stop)})
        EXPECT_TRUE(InAddOnFile(entry));
    for (std::size_t i = 0; i < ExportTableBytes; ++i) {
        const bool written = i < 4 || (i >= ExportIdentifyOffset && i < ExportStopOffset + 8) ||
                             (i >= ExportLevelOffset && i < ExportLevelOffset + 4);
        if (!written) {
            EXPECT_EQ(table[i], 0) << "byte " << i;
        }
    }

    std::array<std::int32_t, 64> environment{};
    environment[0] = HostApplicationId;
    const auto record = reinterpret_cast<EnvironmentRecord*>(environment.data());
    EXPECT_EQ(identify(record), 0);
    EXPECT_EQ(registerMenus(), ErrGeneral);
    EXPECT_EQ(start(), ErrGeneral);
    EXPECT_EQ(stop(), ErrGeneral);

    EXPECT_EQ(setImports(session.Host().FunctionTableData()), 0);
    EXPECT_EQ(registerMenus(), 0);
    EXPECT_EQ(start(), 0);
    EXPECT_EQ(stop(), 0);
}

}  // namespace
