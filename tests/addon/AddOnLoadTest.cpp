// The add-on's library file loaded by the stand-in host as the host loads it.
#include "HostFixture.hpp"
#include "HostInterface.hpp"
#include "standin/AddOn.hpp"
#include "standin/Win.hpp"

#include <gtest/gtest.h>

#include <dlfcn.h>

#include <cstdlib>
#include <string>

namespace {

using namespace HostInterface;
using standin::AddOnLoader;

// Whether code at this address lies in the add-on's library file.
bool InAddOnFile(const void* address)
{
    Dl_info info{};
    return dladdr(address, &info) != 0 && info.dli_fname != nullptr &&
           std::string(info.dli_fname) == TARVEL_ADDON_FILE;
}

// Whether the library file is still mapped into the process.
bool AddOnMapped()
{
    void* handle = dlopen(TARVEL_ADDON_FILE, RTLD_NOW | RTLD_NOLOAD);
    if (handle == nullptr)
        return false;
    dlclose(handle);
    return true;
}

class AddOnLoadTest : public tarvel::testing::HostFixture {
protected:
    void SetUp() override
    {
        // The add-on reads where its servers are when it first needs them: nothing
        // listens here, and the support site is a page of the test's.
        setenv("TARVEL_REPOSITORY_SERVER", "http://127.0.0.1:9", 1);
        setenv("TARVEL_UPDATE_SERVER", "http://127.0.0.1:9", 1);
        setenv("TARVEL_SUPPORT_SITE", "https://support.example/load-test", 1);
        HostFixture::SetUp();
        standin::win::ClearShellLog();
    }
    void TearDown() override
    {
        HostFixture::TearDown();
        unsetenv("TARVEL_REPOSITORY_SERVER");
        unsetenv("TARVEL_UPDATE_SERVER");
        unsetenv("TARVEL_SUPPORT_SITE");
        standin::win::ClearShellLog();
    }
};

TEST_F(AddOnLoadTest, BeforeItsTableIsInstalledTheAddOnDoesNothing)
{
    AddOnLoader loader(Host(), TARVEL_ADDON_FILE);
    const standin::EntryPoints& entries = loader.ReadExports();
    for (const void* entry : {reinterpret_cast<const void*>(entries.identify),
                              reinterpret_cast<const void*>(entries.registerMenus),
                              reinterpret_cast<const void*>(entries.start), reinterpret_cast<const void*>(entries.stop)})
        EXPECT_TRUE(InAddOnFile(entry));
    // The test's own copy of the add-on's code has a table; the library file has its own state.
    EnvironmentRecord environment{};
    environment.applicationId = HostApplicationId;
    EXPECT_EQ(entries.identify(&environment), 0);
    EXPECT_EQ(environment.addOnName.GetLength(), 0u);
    EXPECT_EQ(entries.registerMenus(), ErrGeneral);
    EXPECT_EQ(entries.start(), ErrGeneral);
    EXPECT_EQ(entries.stop(), ErrGeneral);
    EXPECT_TRUE(Host().Calls().empty());
    loader.Unload();
    EXPECT_FALSE(AddOnMapped());
}

TEST_F(AddOnLoadTest, LoadedStartedDrivenStoppedAndUnloadedWithoutAThreadLeft)
{
    {
        AddOnLoader loader(Host(), TARVEL_ADDON_FILE);
        loader.ReadExports();
        loader.Install();
        ASSERT_EQ(loader.Identify(), IdentifyLoad);
        EXPECT_EQ(loader.Environment().addOnDescription, GS::UniString("Tarvel Add-on v1.28"));
        ASSERT_EQ(loader.Register(), 0);
        ASSERT_EQ(loader.Start(), 0);
        // No repository: reported, and the start goes on.
        EXPECT_EQ(Report().Alerts(),
                  std::vector<std::string>{"ERROR: cannot connect to the online database of libraries."});
        auto& registrations = Host().Module<standin::RegistrationModule>();
        EXPECT_EQ(registrations.ChooseMenu(32505), GSErrCode{0});
        ASSERT_EQ(standin::win::ShellLog().size(), 1u);
        EXPECT_EQ(standin::win::ShellLog()[0].file, "https://support.example/load-test");
        EXPECT_EQ(loader.Stop(), 0);
        EXPECT_EQ(standin::win::LiveThreads(), 0);
        loader.Unload();
        EXPECT_TRUE(registrations.EscapedExceptions().empty());
    }
    EXPECT_FALSE(AddOnMapped());

    // Loaded again, it starts afresh: the host asking another application id is declined.
    AddOnLoader again(Host(), TARVEL_ADDON_FILE);
    again.ReadExports();
    again.Install();
    EXPECT_EQ(again.Identify(7), 0);
}

}  // namespace
