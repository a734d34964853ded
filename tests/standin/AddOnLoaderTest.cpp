// The load contract as the stand-in host checks it, against a test add-on that can
// break each rule.
#include "HostFixture.hpp"

#include "ostrel/interop/HostApi.hpp"
#include "standin/AddOn.hpp"
#include "standin/CoreModules.hpp"

#include <boost/filesystem/operations.hpp>

#include <cstring>
#include <thread>

namespace {

using namespace HostInterface;
using standin::AddOnLoader;
using standin::ContractError;

struct FakeAddOn {
    // Changes the export table after a correct fill.
    std::function<void(unsigned char* table)> spoilExports;
    GSErrCode installAnswer = 0;
    std::int32_t identifyAnswer = IdentifyLoad;
    bool fillName = true;
    std::function<GSErrCode()> registerMenus = [] { return GSErrCode{0}; };
    std::function<GSErrCode()> start = [] { return GSErrCode{0}; };
} fake;

std::int32_t Identify(EnvironmentRecord* environment)
{
    if (fake.fillName && environment->applicationId == HostApplicationId) {
        environment->addOnName = GS::UniString("Test");
        environment->addOnDescription = GS::UniString("Test add-on");
    }
    return fake.identifyAnswer;
}
GSErrCode RegisterMenus() { return fake.registerMenus(); }
GSErrCode Start() { return fake.start(); }
GSErrCode Stop() { return 0; }

void GetExports(void* table)
{
    auto* bytes = static_cast<unsigned char*>(table);
    std::memset(bytes, 0, ExportTableBytes);
    const auto put = [bytes](std::size_t offset, auto value) { std::memcpy(bytes + offset, &value, sizeof value); };
    put(ExportFormatOffset, ExportFormatWord);
    put(ExportIdentifyOffset, &Identify);
    put(ExportRegisterOffset, &RegisterMenus);
    put(ExportStartOffset, &Start);
    put(ExportStopOffset, &Stop);
    put(ExportLevelOffset, ApiLevel);
    if (fake.spoilExports)
        fake.spoilExports(bytes);
}
GSErrCode SetImports(const void*) { return fake.installAnswer; }

class AddOnLoaderTest : public tarvel::testing::HostFixture {
protected:
    void SetUp() override
    {
        HostFixture::SetUp();
        fake = FakeAddOn{};
    }
    std::unique_ptr<AddOnLoader> Loader()
    {
        return std::make_unique<AddOnLoader>(Host(), standin::AddOnExports{GetExports, SetImports});
    }
    // Runs the steps up to the environment check.
    std::unique_ptr<AddOnLoader> Identified()
    {
        auto loader = Loader();
        loader->ReadExports();
        loader->Install();
        loader->Identify();
        return loader;
    }
};

// The message of the ContractError the call throws; "" when it throws none.
std::string Breach(const std::function<void()>& call)
{
    try {
        call();
    } catch (const ContractError& e) {
        return e.what();
    }
    return "";
}

TEST_F(AddOnLoaderTest, EachRuleOfTheContractIsChecked)
{
    struct Case {
        const char* what;
        std::function<void()> arrange;
        // The steps the loader runs, from the start; the last one breaks the contract.
        std::function<void(AddOnLoader&)> steps;
        const char* breach;
    };
    const auto put = [](std::size_t offset, std::int32_t value) {
        return [offset, value](unsigned char* table) { std::memcpy(table + offset, &value, sizeof value); };
    };
    const Case cases[] = {
        {"format word", [&] { fake.spoilExports = put(ExportFormatOffset, 0x001B0001); },
         [](AddOnLoader& l) { l.ReadExports(); }, "the export table's format word is 0x001B0001, not 0x001C0001"},
        {"level", [&] { fake.spoilExports = put(ExportLevelOffset, 27000); },
         [](AddOnLoader& l) { l.ReadExports(); }, "the export table's interface level is 27000, not 28000"},
        {"a stray byte", [&] { fake.spoilExports = [](unsigned char* t) { t[100] = 1; }; },
         [](AddOnLoader& l) { l.ReadExports(); }, "byte 100 of the export table is not zero"},
        {"a byte between format word and entry points", [&] { fake.spoilExports = [](unsigned char* t) { t[4] = 1; }; },
         [](AddOnLoader& l) { l.ReadExports(); }, "byte 4 of the export table is not zero"},
        {"no clean-up", [&] { fake.spoilExports = [](unsigned char* t) { std::memset(t + ExportStopOffset, 0, 8); }; },
         [](AddOnLoader& l) { l.ReadExports(); }, "the export table lacks an entry point"},
        {"installation refused", [&] { fake.installAnswer = 1; },
         [](AddOnLoader& l) {
             l.ReadExports();
             l.Install();
         },
         "SetImportedFuncAddrs answered 0x00000001, not 0"},
        {"environment check answers 1", [&] { fake.identifyAnswer = 1; },
         [](AddOnLoader& l) {
             l.ReadExports();
             l.Install();
             l.Identify();
         },
         "the environment check answered 1, neither 0 nor 2"},
        {"runs without a name", [&] { fake.fillName = false; },
         [](AddOnLoader& l) {
             l.ReadExports();
             l.Install();
             l.Identify();
         },
         "the environment check answered 2 without the add-on's name and description"},
        {"registers after declining", [&] { fake.identifyAnswer = 0; },
         [](AddOnLoader& l) {
             l.ReadExports();
             l.Install();
             EXPECT_EQ(l.Identify(), 0);
             l.Register();
         },
         "the interface registration out of order: the add-on is declining to run here, not identified"},
        {"an invented error", [&] { fake.registerMenus = [] { return static_cast<GSErrCode>(0x81060999u); }; },
         [](AddOnLoader& l) {
             l.ReadExports();
             l.Install();
             l.Identify();
             l.Register();
         },
         "the interface registration answered 0x81060999, a code no host call gave it"},
        {"an exception", [&] { fake.start = []() -> GSErrCode { throw std::runtime_error("boom"); }; },
         [](AddOnLoader& l) {
             l.ReadExports();
             l.Install();
             l.Identify();
             l.Register();
             l.Start();
         },
         "an exception left the initialisation: boom"},
        {"started before registering", nullptr,
         [](AddOnLoader& l) {
             l.ReadExports();
             l.Install();
             l.Identify();
             l.Start();
         },
         "the initialisation out of order: the add-on is identified, not registered"},
        {"installed twice", nullptr,
         [](AddOnLoader& l) {
             l.ReadExports();
             l.Install();
             l.Install();
         },
         "installing the function table out of order: the add-on is installed, not with its exports read"},
    };
    for (const Case& c : cases) {
        fake = FakeAddOn{};
        if (c.arrange)
            c.arrange();
        auto loader = Loader();
        EXPECT_EQ(Breach([&] { c.steps(*loader); }), c.breach) << c.what;
    }
}

TEST_F(AddOnLoaderTest, AnErrorTheHostGaveMayBePassedOnAndEndsTheRoad)
{
    fake.registerMenus = [] { return HostApi_AddMenu(32500, 32520, 0, 2); };
    Host().FailCall(Slot::AddMenu, 0x81060123);
    auto loader = Identified();
    EXPECT_EQ(loader->Register(), static_cast<GSErrCode>(0x81060123));
    EXPECT_EQ(loader->LastStep(), AddOnLoader::Step::RegisterFailed);
    EXPECT_NE(Breach([&] { loader->Start(); }), "");
    loader->Unload();
    EXPECT_EQ(loader->LastStep(), AddOnLoader::Step::Unloaded);
}

TEST_F(AddOnLoaderTest, TheWholeRoadOnTheUserInterfaceThreadOnly)
{
    auto loader = Identified();
    EXPECT_EQ(loader->Environment().applicationId, HostApplicationId);
    EXPECT_EQ(loader->Environment().addOnName, GS::UniString("Test"));
    std::string offThread;
    std::thread([&] { offThread = Breach([&] { loader->Register(); }); }).join();
    EXPECT_EQ(offThread, "the interface registration: the host calls the add-on on its user-interface thread only");
    EXPECT_EQ(loader->Register(), 0);
    EXPECT_EQ(loader->Start(), 0);
    EXPECT_EQ(Host().Module<standin::RegistrationModule>().CurrentPhase(), standin::RegistrationModule::Phase::Running);
    EXPECT_EQ(loader->Stop(), 0);
    EXPECT_EQ(Host().Module<standin::RegistrationModule>().CurrentPhase(),
              standin::RegistrationModule::Phase::NotLoaded);
    loader->Unload();
}

// The add-on's resources with identity.json as each case writes it ("" leaves it out).
class IdentityTest : public AddOnLoaderTest, public ::testing::WithParamInterface<const char*> {
protected:
    void AdjustOptions(standin::HostOptions& options) override
    {
        const boost::filesystem::path resources = Temp().Path() / "resources";
        boost::filesystem::copy(standin::DefaultResourceDir(), resources, boost::filesystem::copy_options::recursive);
        boost::filesystem::remove(resources / "identity.json");
        if (*GetParam() != '\0')
            tarvel::testing::WriteFile(resources / "identity.json", GetParam());
        options.resourceDir = resources.string();
    }
};

TEST_P(IdentityTest, AnAddOnWithoutAWholeIdentityResourceIsNotAskedAnything)
{
    auto loader = Loader();
    loader->ReadExports();
    loader->Install();
    EXPECT_EQ(Breach([&] { loader->Identify(); }),
              "the add-on has no identity resource MDID 32500 (a length of 8 and two 32-bit numbers)");
    EXPECT_EQ(loader->LastStep(), AddOnLoader::Step::Installed);
}

INSTANTIATE_TEST_SUITE_P(Broken, IdentityTest,
                         ::testing::Values("", "{", "{\"MDID\": {}}", "{\"MDID\": {\"32500\": [8, 1]}}",
                                           "{\"MDID\": {\"32500\": [4, 1, 1]}}",
                                           "{\"MDID\": {\"32500\": [8, 1, -1]}}",
                                           "{\"MDID\": {\"32500\": [8, 1, 4294967296]}}",
                                           "{\"MDID\": {\"32500\": [8, \"1\", 1]}}"));

TEST_F(AddOnLoaderTest, TheShippedIdentityIsALengthOfEightAndTwoNumbers)
{
    EXPECT_TRUE(Host().Module<standin::ResourceModule>().Identity().has_value());
}

}  // namespace
