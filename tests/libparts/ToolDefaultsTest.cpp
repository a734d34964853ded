#include "ModelFixture.hpp"
#include "libparts/LibPartSpec.hpp"
#include "libparts/ToolDefaults.hpp"

#include <cstring>

#include "ostrel/interop/HostApi.hpp"

namespace {

using namespace HostInterface;

class ToolDefaultsTest : public tarvel::testing::ModelFixture {
protected:
    std::int32_t SavePart(const std::wstring& name, double a, double b)
    {
        tarvel::LibPartSpec spec;
        spec.name = name;
        spec.location.Set(LibraryText().c_str());
        spec.a = a;
        spec.b = b;
        spec.AddStringArrayParameter("tv_config_params", L"tv_config_params", {{L"W", L"1"}});
        return spec.CreateLibraryPart();
    }

    static bool SameOutside(const ElementRecord& x, const ElementRecord& y, std::initializer_list<std::size_t> fields)
    {
        const auto* a = reinterpret_cast<const std::uint8_t*>(&x);
        const auto* b = reinterpret_cast<const std::uint8_t*>(&y);
        for (std::size_t i = 0; i < sizeof x; ++i) {
            bool inField = false;
            for (std::size_t f : fields)
                inField = inField || (i >= f && i < f + 8);
            if (!inField && a[i] != b[i])
                return false;
        }
        return true;
    }
};

TEST_F(ToolDefaultsTest, SelectorsActivateTheirTools)
{
    struct Case {
        GSErrCode (*select)();
        std::int32_t type;
    };
    const Case cases[] = {{tarvel::SelectWindowTool, 4},
                          {tarvel::SelectDoorTool, 5},
                          {tarvel::SelectObjectTool, 6},
                          {tarvel::SelectSkylightTool, 44}};
    for (const auto& c : cases) {
        EXPECT_EQ(c.select(), 0);
        EXPECT_EQ(Tools().ActiveTool(), c.type);
    }
    EXPECT_EQ(tarvel::CallEnvironmentSTBX(1), HostInterface::ErrBadRecord);  // no such tool
    EXPECT_EQ(Tools().ActiveTool(), 44);
}

TEST_F(ToolDefaultsTest, WritesIndexAndSizesAtTheFieldsOfTheType)
{
    const std::int32_t index = SavePart(L"Door57", 0.9, 2.1);
    ASSERT_GE(index, 1);
    struct Case {
        std::int32_t type;
        std::size_t indexOffset;
    };
    const Case cases[] = {{5, 216}, {4, 216}, {44, 216}, {6, 312}};
    for (const auto& c : cases) {
        const ElementRecord before = Tools().Defaults(c.type);
        tarvel::SetToolDefaultLibPart(c.type, index);
        const ElementRecord after = Tools().Defaults(c.type);
        EXPECT_EQ(after.a, 0.9);
        EXPECT_EQ(after.b, 2.1);
        std::int32_t written = 0;
        std::memcpy(&written, reinterpret_cast<const char*>(&after) + c.indexOffset, 4);
        EXPECT_EQ(written, index) << c.type;
        EXPECT_TRUE(SameOutside(before, after, {176, 184, c.indexOffset})) << c.type;
    }
    EXPECT_EQ(Tools().Defaults(6).openingLibIndex, 0);  // an object never at 216
    EXPECT_EQ(Tools().Defaults(7).objectLibIndex, 0);   // the lamp untouched
    EXPECT_EQ(LeakedHandles(), 0);                       // the part's default list went back
}

TEST_F(ToolDefaultsTest, AHostErrorStopsTheWrite)
{
    const std::int32_t index = SavePart(L"Obj", 2, 3);
    for (Slot slot : {Slot::ReadToolDefaults, Slot::GetLibPartDefaults}) {
        const ElementRecord before = Tools().Defaults(6);
        Host().FailCall(slot, HostInterface::ErrGeneral);
        tarvel::SetToolDefaultLibPart(6, index);
        const ElementRecord after = Tools().Defaults(6);
        EXPECT_EQ(std::memcmp(&before, &after, sizeof before), 0);
    }
    EXPECT_EQ(Host().CallCount(Slot::StoreToolDefaults), 0u);
    // An index the host does not know is refused by it.
    tarvel::SetToolDefaultLibPart(6, index + 100);
    EXPECT_EQ(Tools().Defaults(6).objectLibIndex, 0);
}

TEST_F(ToolDefaultsTest, TheHostRefusesMarksOnFieldsItDoesNotKnow)
{
    const std::int32_t index = SavePart(L"Obj", 2, 3);
    ElementRecord element = Tools().Defaults(6);
    element.objectLibIndex = index;
    element.openingLibIndex = index;
    for (std::size_t offset : {std::size_t(216), std::size_t(177), std::size_t(0), std::size_t(5000)}) {
        ElementRecord mask;
        ZeroRecord(mask);
        reinterpret_cast<std::uint8_t*>(&mask)[312] = 0xFF;
        reinterpret_cast<std::uint8_t*>(&mask)[offset] = 0xFF;
        EXPECT_EQ(HostApi_StoreToolDefaults(&element, nullptr, &mask), ErrBadRecord) << offset;
    }
    ElementRecord mask;
    ZeroRecord(mask);
    reinterpret_cast<std::uint8_t*>(&mask)[312] = 0x01;  // a mark is 0xFF
    EXPECT_EQ(HostApi_StoreToolDefaults(&element, nullptr, &mask), ErrBadRecord);
    EXPECT_EQ(Tools().Defaults(6).objectLibIndex, 0);
}

}  // namespace
