// The stand-in's placed elements, memos and undo steps.
#include "ModelFixture.hpp"

#include "ostrel/interop/HostApi.hpp"

#include <functional>

namespace {

using namespace HostInterface;

class ElementModelTest : public tarvel::testing::ModelFixture {
protected:
    GS::Guid PlaceDoor()
    {
        standin::PartParameter p;
        p.name = "tv_base_url";
        p.text = u"u/";
        return Elements().Place(ElemDoor, 0, 1.0, 2.0, {p});
    }
    // Reads the placed element for a change of its width: its record, a mask of that
    // field and its parameter memo.
    void ReadForChange(const GS::Guid& guid)
    {
        ZeroRecord(element);
        element.guid = guid;
        ASSERT_EQ(HostApi_ReadElement(&element, nullptr), 0);
        ZeroRecord(mask);
        reinterpret_cast<std::uint8_t*>(&mask)[176] = 0xFF;
        ASSERT_EQ(HostApi_ReadElementMemo(guid, &memo, MemoParameters), 0);
    }

    ElementRecord element;
    ElementRecord mask;
    ElementMemo memo;
};

TEST_F(ElementModelTest, KindsMapToElementTypes)
{
    for (std::int32_t type : {1, 4, 5, 6, 7, 44}) {
        std::int32_t answer = 0;
        EXPECT_EQ(HostApi_ElementTypeOfNeig(standin::ElementModule::KindOfType(type), &answer), 0);
        EXPECT_EQ(answer, type);
    }
    std::int32_t answer = -1;
    EXPECT_EQ(HostApi_ElementTypeOfNeig(3, &answer), ErrBadParameter);
    EXPECT_EQ(answer, 0);
}

TEST_F(ElementModelTest, ReadingChecksTheRecordsItIsHanded)
{
    const GS::Guid guid = PlaceDoor();
    ElementRecord element;
    ZeroRecord(element);
    element.guid = guid;
    element.a = 5;  // not zero-filled
    EXPECT_EQ(HostApi_ReadElement(&element, nullptr), ErrBadRecord);
    element.a = 0;
    ASSERT_EQ(HostApi_ReadElement(&element, nullptr), 0);
    EXPECT_EQ(element.elementType, ElemDoor);
    EXPECT_EQ(element.b, 2.0);

    ElementMemo memo;
    ASSERT_EQ(HostApi_ReadElementMemo(guid, &memo, MemoParameters), 0);
    ASSERT_NE(memo.params, nullptr);
    EXPECT_EQ(BMGetHandleSize(memo.params), static_cast<GSSize>(sizeof(ParamRecord)));
    // A memo still holding its list is refused: the list would be lost.
    EXPECT_EQ(HostApi_ReadElementMemo(guid, &memo, MemoParameters), ErrBadParameter);
    EXPECT_EQ(HostApi_FreeMemo(&memo), 0);
    EXPECT_EQ(memo.params, nullptr);
    ASSERT_EQ(HostApi_ReadElementMemo(guid, &memo, standin::ElementModule::ReplacementMemoMask), 0);
    EXPECT_NE(memo.params, nullptr);
    EXPECT_EQ(HostApi_FreeMemo(&memo), 0);
    EXPECT_EQ(HostApi_ReadElementMemo(GS::Guid(), &memo, MemoParameters), ErrNotFound);
    EXPECT_EQ(LeakedHandles(), 0);
}

TEST_F(ElementModelTest, AFailingCommandLeavesNoUndoStep)
{
    const GS::Guid guid = PlaceDoor();
    ReadForChange(guid);
    element.a = 9;
    const UndoableCommand changeThenFail = [&] {
        HostApi_ModifyElement(&element, &mask, &memo, MemoParameters, true);
        return ErrGeneral;
    };
    EXPECT_EQ(HostApi_RunAsUndoStep(GS::UniString("Step"), changeThenFail), ErrGeneral);
    EXPECT_EQ(Elements().Element(guid)->record.a, 1.0);
    EXPECT_TRUE(Elements().UndoSteps().empty());

    const UndoableCommand change = [&] { return HostApi_ModifyElement(&element, &mask, &memo, MemoParameters, true); };
    EXPECT_EQ(HostApi_RunAsUndoStep(GS::UniString(""), change), ErrBadParameter);  // unnamed
    EXPECT_EQ(HostApi_RunAsUndoStep(GS::UniString("Step"), change), 0);
    EXPECT_EQ(Elements().Element(guid)->record.a, 9.0);
    EXPECT_EQ(Elements().UndoSteps(), std::vector<std::string>{"Step"});
    EXPECT_TRUE(Elements().Undo());
    EXPECT_EQ(Elements().Element(guid)->record.a, 1.0);
    EXPECT_FALSE(Elements().Undo());
    EXPECT_EQ(HostApi_FreeMemo(&memo), 0);
}

// Each call carries one value the add-on never passes: the host refuses it and changes nothing.
TEST_F(ElementModelTest, ValuesOutsideTheAddOnsCallsAreRefused)
{
    const GS::Guid guid = PlaceDoor();
    Elements().Select({guid});
    ReadForChange(guid);
    element.a = 9;
    auto modify = [&](std::uint64_t memoMask, bool withDelete) {
        return HostApi_RunAsUndoStep(GS::UniString("Step"), [&] {
            return HostApi_ModifyElement(&element, &mask, &memo, memoMask, withDelete);
        });
    };
    SelectionInfo info;
    ZeroRecord(info);
    SelectionList items;
    ElementMemo other;
    struct Case {
        const char* what;
        std::function<GSErrCode()> call;
    };
    const Case cases[] = {
        {"selection with locked elements", [&] { return HostApi_ReadSelection(&info, &items, false, true, 0); }},
        {"selection with sub-elements", [&] { return HostApi_ReadSelection(&info, &items, true, false, 0); }},
        {"selection, reserved not 0", [&] { return HostApi_ReadSelection(&info, &items, true, true, 1); }},
        {"memo of no part", [&] { return HostApi_ReadElementMemo(guid, &other, 0); }},
        {"memo of parameters and one more", [&] { return HostApi_ReadElementMemo(guid, &other, MemoParameters | 1); }},
        {"memo of every part", [&] { return HostApi_ReadElementMemo(guid, &other, 0x3FFFFFFFFFFFFFFFull); }},
        {"memo with the top bits", [&] { return HostApi_ReadElementMemo(guid, &other, ~0ull); }},
        {"change without the parameter list", [&] { return modify(0, true); }},
        {"change with the replacement's memo mask",
         [&] { return modify(standin::ElementModule::ReplacementMemoMask, true); }},
        {"change not final", [&] { return modify(MemoParameters, false); }},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.call(), ErrBadParameter) << c.what;
        EXPECT_EQ(info.outline, nullptr) << c.what;
        EXPECT_EQ(other.params, nullptr) << c.what;
        EXPECT_EQ(Elements().Element(guid)->record.a, 1.0) << c.what;
        EXPECT_TRUE(Elements().UndoSteps().empty()) << c.what;
    }
    // The same calls with the add-on's values go through.
    ASSERT_EQ(HostApi_ReadSelection(&info, &items, true, true, 0), 0);
    BMKillHandle(&info.outline);
    EXPECT_EQ(modify(MemoParameters, true), 0);
    EXPECT_EQ(Elements().Element(guid)->record.a, 9.0);
    EXPECT_EQ(HostApi_FreeMemo(&memo), 0);
    EXPECT_EQ(LeakedHandles(), 0);
}

TEST_F(ElementModelTest, RedoDoesAnUndoneStepAgainUntilANewStepComes)
{
    const GS::Guid guid = PlaceDoor();
    ReadForChange(guid);
    auto widen = [&](double a) {
        element.a = a;
        const UndoableCommand change = [&] {
            return HostApi_ModifyElement(&element, &mask, &memo, MemoParameters, true);
        };
        return HostApi_RunAsUndoStep(GS::UniString("Widen"), change);
    };
    auto width = [&] { return Elements().Element(guid)->record.a; };
    ASSERT_EQ(widen(2), 0);
    ASSERT_EQ(widen(3), 0);
    EXPECT_FALSE(Elements().Redo());
    ASSERT_TRUE(Elements().Undo());
    ASSERT_TRUE(Elements().Undo());
    EXPECT_EQ(width(), 1.0);
    ASSERT_TRUE(Elements().Redo());
    EXPECT_EQ(width(), 2.0);
    EXPECT_EQ(Elements().UndoSteps(), std::vector<std::string>{"Widen"});
    ASSERT_TRUE(Elements().Redo());
    EXPECT_EQ(width(), 3.0);
    EXPECT_FALSE(Elements().Redo());

    ASSERT_TRUE(Elements().Undo());
    ASSERT_EQ(widen(4), 0);
    EXPECT_FALSE(Elements().Redo());
    EXPECT_EQ(width(), 4.0);
    EXPECT_EQ(HostApi_FreeMemo(&memo), 0);
}

TEST_F(ElementModelTest, TheSelectionCarriesAHandleForTheReader)
{
    const GS::Guid guid = PlaceDoor();
    Elements().Select({guid});
    SelectionInfo info;
    ZeroRecord(info);
    SelectionList items;
    ASSERT_EQ(HostApi_ReadSelection(&info, &items, true, true, 0), 0);
    EXPECT_EQ(info.selectedCount, 1);
    EXPECT_EQ(info.editableCount, 1);
    ASSERT_EQ(items.items.size(), 1u);
    EXPECT_EQ(items.items[0].guid, guid);
    EXPECT_EQ(LeakedHandles(), 1);
    BMKillHandle(&info.outline);
    Elements().Select({});
    EXPECT_EQ(HostApi_ReadSelection(&info, &items, true, true, 0), ErrNotFound);
    EXPECT_EQ(info.outline, nullptr);
}

}  // namespace
