#include "ostrel/interop/HostApi.hpp"
#include "ostrel/interop/Interop.hpp"
#include "ostrel/Text.hpp"

#include <utf8.h>

#include "HostFixture.hpp"
#include "IO.hpp"
#include "standin/Base.hpp"
#include "standin/Win.hpp"

#include <thread>

namespace {

using namespace ostrel::ac::interop;
using HostInterface::Slot;
using ostrel::WStringToUtf8;

class InteropTest : public tarvel::testing::HostFixture {};

TEST_F(InteropTest, SpecialFolderIsTheHostsLocationNine)
{
    EXPECT_EQ(WStringToUtf8(GetSpecialFolderPath()), SpecialFolder().string());
}

TEST_F(InteropTest, SpecialFolderErrorTravelsInGSException)
{
    standin::base::FailSpecialLocation(static_cast<GSErrCode>(0x81060123u));
    try {
        GetSpecialFolderPath();
        FAIL() << "no exception";
    } catch (const GSException& e) {
        EXPECT_STREQ(e.what(), "Error in GS call!");
        EXPECT_EQ(e.Code(), static_cast<GSErrCode>(0x81060123u));
    }
    EXPECT_NO_THROW(GetSpecialFolderPath());
}

TEST_F(InteropTest, AddOnFolderDropsTheFileName)
{
    EXPECT_EQ(WStringToUtf8(GetAddOnFolderPath()), AddOnFolder().string());
    EXPECT_EQ(WStringToUtf8(GetAddOnFolderFilePath(L"data.cfg")), AddOnFolder().string() + "/data.cfg");
}

TEST_F(InteropTest, AddOnFolderKeepsTheHostsBackslashesAndAppendsSlash)
{
    Host().Module<standin::LocationModule>().SetAddOnFile("C:\\Program Files\\Host\\Add-Ons\\Tarvel.apx");
    EXPECT_EQ(WStringToUtf8(GetAddOnFolderPath()), "C:\\Program Files\\Host\\Add-Ons");
    EXPECT_EQ(WStringToUtf8(GetAddOnFolderFilePath(L"data.cfg")), "C:\\Program Files\\Host\\Add-Ons/data.cfg");
}

TEST_F(InteropTest, AddOnLocationErrorsThrow)
{
    Host().Module<standin::LocationModule>().SetAddOnFile("");
    try {
        GetAddOnFolderFilePath(L"data.cfg");
        FAIL() << "no exception";
    } catch (const GSException& e) {
        EXPECT_EQ(e.Code(), HostInterface::ErrNoAddOnLocation);
    }
    Host().Module<standin::LocationModule>().SetAddOnFile(AddOnFolder().string() + "/Tarvel.apx");
    Host().FailCall(Slot::AddOnFileLocation, HostInterface::ErrMemory);
    try {
        GetAddOnFolderPath();
        FAIL() << "no exception";
    } catch (const GSException& e) {
        EXPECT_EQ(e.Code(), HostInterface::ErrMemory);
    }
}

TEST_F(InteropTest, PathsLongerThanTheBufferAreRefused)
{
    const std::string fits = "/" + std::string(510, 'a');
    standin::base::SetSpecialLocation(9, fits);
    EXPECT_EQ(GetSpecialFolderPath().size(), 511u);
    standin::base::SetSpecialLocation(9, fits + "b");
    EXPECT_THROW(GetSpecialFolderPath(), GSException);
}

TEST_F(InteropTest, StringListsComeFromTheAddOnsResources)
{
    EXPECT_EQ(LoadResourceString(17779, 1), std::wstring(1, 0x00A0));
    EXPECT_EQ(LoadResourceStringUtf8(17779, 1), "\xC2\xA0");
    EXPECT_EQ(LoadResourceStringUtf8(17781, 1), "en-GB");
    EXPECT_EQ(LoadResourceStringUtf8(23000, 2), "Error while creating library part!");
    EXPECT_EQ(LoadResourceStringUtf8(32500, 1), "Tarvel\xC2\xAE");
    EXPECT_EQ(LoadResourceStringUtf8(17770, 1),
              "This name is already in use by another LibPart.\nPlease set a different one!");
    // Entries that do not exist are empty.
    EXPECT_EQ(LoadResourceString(22000, 1), L"");
    EXPECT_EQ(LoadResourceString(17772, 1), L"");
    EXPECT_EQ(LoadResourceString(32000, 3), L"");
}

TEST_F(InteropTest, StringListsAreReadableFromOtherThreads)
{
    std::vector<std::thread> threads;
    std::vector<std::string> texts(4);
    for (int i = 0; i < 4; ++i)
        threads.emplace_back([&texts, i] { texts[i] = LoadResourceStringUtf8(17781, 1); });
    for (auto& t : threads)
        t.join();
    for (const auto& text : texts)
        EXPECT_EQ(text, "en-GB");
    std::size_t loads = 0;
    for (const auto& call : Host().CallsOffUiThread())
        loads += call.slot == Slot::LoadIndexedString ? 1 : 0;
    EXPECT_EQ(loads, 4u);
}

TEST_F(InteropTest, ShellOpenAsksTheSystemAndIgnoresTheAnswer)
{
    standin::win::ClearShellLog();
    standin::win::SetShellResult(2);  // "file not found"
    ShellOpen("mailto:support@example.com");
    ShellOpen("https://example.com/caf\xC3\xA9");
    standin::win::SetShellResult(42);
    const auto log = standin::win::ShellLog();
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(log[0].verb, "open");
    EXPECT_EQ(log[0].file, "mailto:support@example.com");
    EXPECT_EQ(log[0].parameters, "");
    EXPECT_EQ(log[0].directory, "");
    EXPECT_EQ(log[0].showCommand, 10);
    EXPECT_EQ(log[1].file, "https://example.com/caf\xC3\xA9");
    EXPECT_THROW(ShellOpen("https://\xFF"), utf8::invalid_utf8);
    standin::win::ClearShellLog();
}

TEST_F(InteropTest, ShellOpenOpensOnlyWebAndMailLinks)
{
    const std::vector<std::pair<std::string, bool>> cases = {
        {"http://example.com/", true},
        {"HTTPS://example.com/", true},
        {"MailTo:someone@example.com", true},
        {"https://", true},
        {"file:///etc/passwd", false},
        {"C:\\Windows\\System32\\calc.exe", false},
        {"/usr/bin/xterm", false},
        {"javascript:alert(1)", false},
        {" https://example.com/", false},
        {"https:/example.com", false},
        {"mailto", false},
        {"", false},
        {"\xFF", false},
    };
    for (const auto& [target, opens] : cases) {
        standin::win::ClearShellLog();
        ShellOpen(target);
        EXPECT_EQ(standin::win::ShellLog().size(), opens ? 1u : 0u) << target;
        EXPECT_EQ(IsOpenableLink(target), opens) << target;
    }
    standin::win::ClearShellLog();
}

TEST_F(InteropTest, UniStringConversionsCopyUnits)
{
    const std::wstring wide = ostrel::Utf8ToWString("a\xF0\x9F\x98\x80\xC3\xA9");
    const GS::UniString uni = ToUniString(wide);
    EXPECT_EQ(uni.GetLength(), 4u);
    EXPECT_EQ(ToWString(uni), wide);
}

TEST_F(InteropTest, EverySlotTheHostLeavesEmptyAnswersNotProvided)
{
    Host().Table().Clear(Slot::Report);
    Host().Table().Clear(Slot::SetOverwriteLibParts);
    Host().Table().Clear(Slot::EndLibPartSection);
    ostrel::ac::hostapi::InstallFunctionTable(Host().FunctionTableData());
    EXPECT_EQ(HostApi_Report(GS::UniString("x"), false), HostInterface::ErrNotProvided);
    EXPECT_TRUE(Report().Lines().empty());
    EXPECT_EQ(HostApi_SetOverwriteLibParts(true), HostInterface::ErrNotProvided);
    EXPECT_EQ(HostApi_EndLibPartSection(), HostInterface::ErrNotProvided);
}

TEST(HostApiTest, BeforeInstallationNothingIsProvided)
{
    ostrel::ac::hostapi::UninstallFunctionTable();
    EXPECT_FALSE(ostrel::ac::hostapi::IsInstalled());
    EXPECT_EQ(HostApi_Report(GS::UniString("x"), true), HostInterface::ErrNotProvided);
    EXPECT_EQ(HostApi_ResourceModuleId(), 0);
    EXPECT_EQ(ostrel::ac::interop::LoadResourceString(32000, 1), L"");
}

TEST_F(InteropTest, TheAddOnCallsGoThroughItsCopyOfTheTable)
{
    EXPECT_TRUE(ostrel::ac::hostapi::IsInstalled());
    // Changing the host's table after load does not change the add-on's copy.
    Host().Table().Clear(Slot::Report);
    EXPECT_EQ(HostApi_Report(GS::UniString("still here"), true), NoError);
    EXPECT_EQ(Report().Alerts(), std::vector<std::string>{"still here"});
}

}  // namespace
