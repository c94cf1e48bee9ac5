// Button places in the dialog button bar.
#include <QDialog>
#include <QMessageBox>
#include <QtTest/QTest>
#include <gtest/gtest.h>

#include "components/footer.h"

namespace brevio {
namespace {

using TAlign = TFooterBtn::TAlignment;

struct TBarCase {
    const char* Name;
    int BarWidth;
    QList<TAlign> Alignments;
    QList<int> ExpectedLefts;
};

class FooterLayout : public ::testing::TestWithParam<TBarCase> {};

TEST_P(FooterLayout, PlacesButtonsByGroupAndOrder)
{
    const TBarCase& c = GetParam();
    QWidget dialog;
    TFooter bar(&dialog);
    bar.resize(c.BarWidth, 37);
    QList<TFooterBtn*> buttons;
    for (TAlign a : c.Alignments) {
        auto* b = new TFooterBtn(&bar);
        b->SetAlignment(a);
        buttons.append(b);
    }
    bar.ArrangeButtons();
    for (int i = 0; i < buttons.size(); ++i) {
        EXPECT_EQ(buttons[i]->x(), c.ExpectedLefts[i]) << "button " << i;
        EXPECT_EQ(buttons[i]->y(), 37 - 23 - 5) << "button " << i;
        EXPECT_EQ(buttons[i]->size(), QSize(74, 23));
    }
}

INSTANTIATE_TEST_SUITE_P(Groups, FooterLayout,
                         ::testing::Values(
                             // Three right-aligned buttons: gaps of 6 and 7 pixels, 5 from the right edge.
                             TBarCase{
                                 "ThreeRight", 370, {TAlign::Right, TAlign::Right, TAlign::Right}, {130, 210, 291}},
                             TBarCase{"OneRight", 261, {TAlign::Right}, {182}},
                             TBarCase{"TwoRightLoginPrompt", 286, {TAlign::Right, TAlign::Right}, {126, 207}},
                             TBarCase{"TwoLeft", 300, {TAlign::Left, TAlign::Left}, {5, 86}},
                             // Centre: 400/2 - (2*74 + 12)/2 = 120, then 120 + 74 + 6.
                             TBarCase{"TwoCentre", 400, {TAlign::Center, TAlign::Center}, {120, 200}},
                             TBarCase{"MixedGroups", 370, {TAlign::Left, TAlign::Right, TAlign::Right}, {5, 210, 291}}),
                         [](const auto& tested) { return std::string(tested.param.Name); });

TEST(Footer, ResizingKeepsRightButtonsAtTheRightEdge)
{
    QWidget dialog;
    TFooter bar(&dialog);
    bar.resize(370, 37);
    auto* a = new TFooterBtn(&bar);
    auto* b = new TFooterBtn(&bar);
    dialog.show();  // a hidden widget gets its resize only when shown
    bar.resize(500, 37);
    EXPECT_EQ(b->x(), 500 - 74 - 5);
    EXPECT_EQ(a->x(), 500 - 148 - 12);
}

TEST(Footer, ChangingButtonIndexMovesTheButton)
{
    QWidget dialog;
    TFooter bar(&dialog);
    bar.resize(370, 37);
    auto* first = new TFooterBtn(&bar);
    auto* second = new TFooterBtn(&bar);
    auto* third = new TFooterBtn(&bar);
    first->SetButtonIndex(2);
    EXPECT_EQ(first->ButtonIndex(), 2);
    EXPECT_EQ(first->x(), 291);
    EXPECT_EQ(second->x(), 130);
    EXPECT_EQ(third->x(), 210);
}

TEST(Footer, RemovedButtonsLeaveTheArrangement)
{
    QWidget dialog;
    TFooter bar(&dialog);
    bar.resize(370, 37);
    auto* a = new TFooterBtn(&bar);
    auto* b = new TFooterBtn(&bar);
    delete b;
    EXPECT_EQ(bar.Buttons().size(), 1);
    EXPECT_EQ(a->x(), 291);
}

TEST(Footer, ButtonGivenAButtonAsParentJoinsThatBar)
{
    QWidget dialog;
    TFooter bar(&dialog);
    bar.resize(370, 37);
    auto* a = new TFooterBtn(&bar);
    auto* b = new TFooterBtn(a);
    EXPECT_EQ(b->parentWidget(), &bar);
    EXPECT_EQ(bar.Buttons().size(), 2);
}

// A click on a button with a result closes its dialog with Qt's code for that result; Cancel in
// particular must close it rejected (Qt's 0), not leave it open.
TEST(Footer, ClickClosesTheDialogWithItsResult)
{
    const struct {
        TModalResult Result;
        int Code;
    } cases[] = {{TModalResult::Ok, QDialog::Accepted},     {TModalResult::Cancel, QDialog::Rejected},
                 {TModalResult::Yes, QMessageBox::Yes},     {TModalResult::No, QMessageBox::No},
                 {TModalResult::Abort, QMessageBox::Abort}, {TModalResult::Close, QMessageBox::Close}};
    for (const auto& c : cases) {
        QDialog dialog;
        TFooter bar(&dialog);
        auto* button = new TFooterBtn(QStringLiteral("Button"), &bar);
        button->SetModalResult(c.Result);
        dialog.open();
        QTest::mouseClick(button, Qt::LeftButton);
        EXPECT_EQ(dialog.result(), c.Code) << int(c.Result);
        EXPECT_FALSE(dialog.isVisible()) << int(c.Result);
    }
    // A button without a result leaves the dialog open.
    QDialog dialog;
    TFooter bar(&dialog);
    auto* plain = new TFooterBtn(QStringLiteral("Help"), &bar);
    dialog.open();
    QTest::mouseClick(plain, Qt::LeftButton);
    EXPECT_TRUE(dialog.isVisible());
}

}  // namespace
}  // namespace brevio
