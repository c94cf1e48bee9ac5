// The new-mail notification window: placement by the taskbar's edge, the slides, cascading, the
// click rules and the gradient, on a screen the tests lay out themselves.
#include <QLabel>
#include <QSignalSpy>
#include <QtTest/QTest>
#include <gtest/gtest.h>

#include "components/popup_notifier.h"

namespace brevio {
namespace {

const QRect kScreen(0, 0, 1000, 800);

// A notifier on a screen with the given work area, set up as the main window sets it up unless
// `programSettings` is false.
struct TNotifier {
    explicit TNotifier(QRect workArea, bool programSettings = true)
    {
        notifier.SetScreenAreaSource([this] { return std::optional<TScreenArea>(TScreenArea{kScreen, this->work}); });
        work = workArea;
        if (programSettings) {
            TPopupSettings& s = notifier.Settings();
            s.TimeOut = 5;
            s.PopupStartX = 0;
            s.PopupStartY = 0;
            s.Options = poAllowScroll;
        }
    }
    TfrmPopupNotifier* Open() { return notifier.OpenPopUp() ? notifier.Popups().last() : nullptr; }

    QRect work;
    TPopupNotifier notifier;
};

// Runs a timer step until the window leaves `state`; returns the number of steps.
int StepWhile(TfrmPopupNotifier* popup, TfrmPopupNotifier::TState state, void (TfrmPopupNotifier::*step)())
{
    int steps = 0;
    while (popup->State() == state && steps < 100) {
        (popup->*step)();
        ++steps;
    }
    return steps;
}

struct TEdgeCase {
    const char* Name;
    QRect Work;
    TTaskbarEdge Edge;
    QRect Sliver;  // right after OpenPopUp
    int Steps;     // of the slide-in, and of the slide-out
    QRect Shown;   // once the slide-in is over
};

class PopupPlacement : public ::testing::TestWithParam<TEdgeCase> {};

TEST_P(PopupPlacement, SlidesOutOfTheTaskbarEdgeAndBack)
{
    const TEdgeCase& c = GetParam();
    TNotifier n(c.Work);
    TfrmPopupNotifier* popup = n.Open();
    ASSERT_TRUE(popup);
    EXPECT_EQ(popup->Edge(), c.Edge);
    EXPECT_EQ(popup->geometry(), c.Sliver);
    EXPECT_EQ(StepWhile(popup, TfrmPopupNotifier::TState::SlidingIn, &TfrmPopupNotifier::tmrScrollTimer), c.Steps);
    EXPECT_EQ(popup->geometry(), c.Shown);
    EXPECT_EQ(popup->State(), TfrmPopupNotifier::TState::Waiting);
    EXPECT_EQ(popup->WaitInterval(), 5000);  // TimeOut is in seconds

    const QPointer<TfrmPopupNotifier> alive(popup);
    popup->tmrExitTimer();
    EXPECT_EQ(StepWhile(popup, TfrmPopupNotifier::TState::SlidingOut, &TfrmPopupNotifier::tmrScrollDownTimer), c.Steps);
    EXPECT_FALSE(popup->isVisible());
    EXPECT_EQ(n.notifier.OpenCount(), 0);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(alive.isNull());
}

// 148 x 121 pixels, 9 pixels a step: 14 steps in height, 17 in width.
INSTANTIATE_TEST_SUITE_P(
    Edges, PopupPlacement,
    ::testing::Values(
        TEdgeCase{"Bottom", {0, 0, 1000, 760}, TTaskbarEdge::Bottom, {852, 759, 148, 1}, 14, {852, 639, 148, 121}},
        TEdgeCase{"Top", {0, 40, 1000, 760}, TTaskbarEdge::Top, {852, 40, 148, 1}, 14, {852, 40, 148, 121}},
        TEdgeCase{"Right", {0, 0, 960, 800}, TTaskbarEdge::Right, {959, 679, 1, 121}, 17, {812, 679, 148, 121}},
        TEdgeCase{"Left", {40, 0, 960, 800}, TTaskbarEdge::Left, {40, 679, 1, 121}, 17, {40, 679, 148, 121}},
        // A desktop whose panel reserves no space: the bottom.
        TEdgeCase{"NoPanel", kScreen, TTaskbarEdge::Bottom, {852, 799, 148, 1}, 14, {852, 679, 148, 121}}),
    [](const auto& tested) { return std::string(tested.param.Name); });

TEST(PopupNotifier, WithoutCascadingEachWindowGoesToTheSameCorner)
{
    TNotifier n({0, 0, 1000, 760});
    TfrmPopupNotifier* first = n.Open();
    TfrmPopupNotifier* second = n.Open();
    ASSERT_TRUE(first && second);
    EXPECT_NE(first, second);
    EXPECT_EQ(second->geometry(), first->geometry());
    EXPECT_EQ(n.notifier.OpenCount(), 2);
    first->close();
    EXPECT_TRUE(second->isVisible());
    EXPECT_EQ(n.notifier.OpenCount(), 1);
}

struct TCascadeCase {
    const char* Name;
    QRect Work;
    QList<int> Tops;  // of the windows that fit, in order
};

class PopupCascade : public ::testing::TestWithParam<TCascadeCase> {};

// Default settings: cascading on, 2 pixels from the work area's edge and between windows.
TEST_P(PopupCascade, StacksAwayFromTheTaskbarUntilThereIsNoRoom)
{
    const TCascadeCase& c = GetParam();
    TNotifier n(c.Work, false);
    QList<TfrmPopupNotifier*> popups;
    for (int i = 0; i < c.Tops.size(); ++i) {
        popups.append(n.Open());
        ASSERT_TRUE(popups.last()) << i;
        EXPECT_EQ(popups.last()->SavedOffset(), i * 123) << i;
        StepWhile(popups.last(), TfrmPopupNotifier::TState::SlidingIn, &TfrmPopupNotifier::tmrScrollTimer);
        EXPECT_EQ(popups.last()->geometry().top(), c.Tops[i]) << i;
    }
    const int offset = n.notifier.CascadeOffset();
    EXPECT_FALSE(n.notifier.OpenPopUp());
    EXPECT_EQ(n.notifier.OpenCount(), c.Tops.size());
    EXPECT_EQ(n.notifier.CascadeOffset(), offset);

    // A gap left by a closed window is not reused: the stack is still full...
    popups[0]->close();
    if (c.Tops.size() > 1) {
        EXPECT_FALSE(n.notifier.OpenPopUp());
    }
    // ...but once none is up, the next goes to the base position.
    for (TfrmPopupNotifier* popup : n.notifier.Popups())
        popup->close();
    TfrmPopupNotifier* again = n.Open();
    ASSERT_TRUE(again);
    EXPECT_EQ(again->SavedOffset(), 0);
}

INSTANTIATE_TEST_SUITE_P(Edges, PopupCascade,
                         ::testing::Values(
                             // 600 - 2 - 121 = 477, then 123 higher each; a fifth would reach above the work area.
                             TCascadeCase{"Bottom", {0, 0, 1000, 600}, {477, 354, 231, 108}},
                             // Downwards from 30 + 2 below a top panel, to the screen's bottom at 800.
                             TCascadeCase{"Top", {0, 30, 1000, 770}, {32, 155, 278, 401, 524, 647}},
                             // Room for one window only.
                             TCascadeCase{"SmallWorkArea", {0, 0, 1000, 200}, {77}}),
                         [](const auto& tested) { return std::string(tested.param.Name); });

TEST(PopupNotifier, ATaskbarOnAnotherEdgeStartsTheStackAfresh)
{
    TNotifier n({0, 0, 1000, 760}, false);
    ASSERT_TRUE(n.Open());
    ASSERT_TRUE(n.Open());
    n.work = QRect(0, 40, 1000, 760);
    TfrmPopupNotifier* popup = n.Open();
    ASSERT_TRUE(popup);
    EXPECT_EQ(popup->SavedOffset(), 0);
    EXPECT_EQ(n.notifier.LastTaskbarEdge(), TTaskbarEdge::Top);
    EXPECT_EQ(n.notifier.OpenCount(), 1);
}

enum class TPart { Title, Gradient, Text, Strip, Bevel };

struct TClickCase {
    const char* Name;
    TPart Part;
    Qt::MouseButton Button;
    bool Clicks;
    bool SenderIsWindow;
};

class PopupClick : public ::testing::TestWithParam<TClickCase> {};

TEST_P(PopupClick, RaisesOnClickOnceAndCloses)
{
    const TClickCase& c = GetParam();
    TNotifier n({0, 0, 1000, 760});
    TfrmPopupNotifier* popup = n.Open();
    ASSERT_TRUE(popup);
    QList<QObject*> senders;
    QObject::connect(&n.notifier, &TPopupNotifier::OnClick, [&](QObject* sender) { senders.append(sender); });

    // Clicked while it is still sliding in.
    QWidget* target = nullptr;
    QPoint at;
    switch (c.Part) {
    case TPart::Title:
        target = popup->lblTitle();
        break;
    case TPart::Gradient:
        target = popup->imgGradient();
        at = QPoint(2, popup->imgGradient()->height() - 3);
        break;
    case TPart::Text:
        target = popup->lblText();
        break;
    case TPart::Strip:
        target = popup->imgStrip();
        break;
    case TPart::Bevel:
        target = popup->pnlBorder();
        at = QPoint(1, 1);
        break;
    }
    if (at.isNull())
        at = target->rect().center();
    QTest::mouseClick(target, c.Button, {}, at);

    if (!c.Clicks) {
        EXPECT_TRUE(senders.isEmpty());
        EXPECT_EQ(popup->State(), TfrmPopupNotifier::TState::SlidingIn);
        return;
    }
    ASSERT_EQ(senders.size(), 1);
    EXPECT_EQ(senders[0], c.SenderIsWindow ? static_cast<QObject*>(popup) : &n.notifier);
    EXPECT_EQ(popup->State(), TfrmPopupNotifier::TState::Released);
    EXPECT_FALSE(popup->isVisible());
    EXPECT_EQ(n.notifier.OpenCount(), 0);
}

INSTANTIATE_TEST_SUITE_P(Areas, PopupClick,
                         ::testing::Values(TClickCase{"TitleLeft", TPart::Title, Qt::LeftButton, true, false},
                                           TClickCase{"TitleRight", TPart::Title, Qt::RightButton, true, false},
                                           TClickCase{"GradientLeft", TPart::Gradient, Qt::LeftButton, true, false},
                                           TClickCase{"GradientRight", TPart::Gradient, Qt::RightButton, true, false},
                                           TClickCase{"TextLeft", TPart::Text, Qt::LeftButton, true, true},
                                           TClickCase{"TextRight", TPart::Text, Qt::RightButton, true, false},
                                           TClickCase{"TextMiddle", TPart::Text, Qt::MiddleButton, false, false},
                                           TClickCase{"GradientMiddle", TPart::Gradient, Qt::MiddleButton, false,
                                                      false},
                                           TClickCase{"Strip", TPart::Strip, Qt::LeftButton, false, false},
                                           TClickCase{"Bevel", TPart::Bevel, Qt::LeftButton, false, false}),
                         [](const auto& tested) { return std::string(tested.param.Name); });

TEST(PopupNotifier, HyperlinkTextReportsItsAddressInsteadOfAClick)
{
    TNotifier n({0, 0, 1000, 760});
    n.notifier.Settings().Options = poAllowHyperlink;  // without opening it
    n.notifier.Settings().URL = QStringLiteral("https://example.org/inbox");
    TfrmPopupNotifier* popup = n.Open();
    ASSERT_TRUE(popup);
    QSignalSpy clicks(&n.notifier, &TPopupNotifier::OnClick);
    QSignalSpy urls(&n.notifier, &TPopupNotifier::OnURLClick);
    QTest::mouseClick(popup->lblText(), Qt::LeftButton, {}, popup->lblText()->rect().center());
    EXPECT_EQ(clicks.count(), 0);
    ASSERT_EQ(urls.count(), 1);
    EXPECT_EQ(urls[0][1].toString(), QStringLiteral("https://example.org/inbox"));
}

TEST(PopupNotifier, TextWrapsInsideThePanelAndStaysCentred)
{
    TNotifier n({0, 0, 1000, 760});
    const QString text = QStringLiteral("Tom & Jerry wrote three messages to the shared mailbox this morning");
    n.notifier.Settings().Text = text;
    TfrmPopupNotifier* popup = n.Open();
    ASSERT_TRUE(popup);
    const QLabel* label = popup->lblText();
    const QRect panel = popup->pnlBorder()->rect();
    EXPECT_EQ(label->text(), text);  // the ampersand as typed
    EXPECT_EQ(label->width(), panel.width() - 15);
    EXPECT_GT(label->height(), label->fontMetrics().height());  // wrapped
    EXPECT_LE(std::abs(2 * label->x() + label->width() - panel.width()), 1);
    EXPECT_LE(std::abs(2 * label->y() + label->height() - panel.height()), 1);
    EXPECT_EQ(popup->lblTitle()->x(), 8);  // no icon: the title moves to the left
    EXPECT_TRUE(popup->lblTitle()->font().bold());
}

// The window keeps its size; a title in any language fits beside the icon, number and all, in
// a smaller font if it must. A short title keeps the font it was given.
TEST(PopupNotifier, EveryTitleFitsWithItsCount)
{
    for (const QString& title : {QStringLiteral("3 new message(s)"), QStringLiteral("Новых сообщений: 128"),
                                 QStringLiteral("Nouveaux messages non lus dans la boîte : 12")}) {
        SCOPED_TRACE(title.toStdString());
        TNotifier n({0, 0, 1000, 760});
        n.notifier.Settings().Title = title;
        TfrmPopupNotifier* popup = n.Open();
        ASSERT_TRUE(popup);
        const QLabel* label = popup->lblTitle();
        const int room = popup->pnlBorder()->width() - label->x();
        EXPECT_EQ(label->text(), title);
        EXPECT_LE(label->width(), room);
        // On one line unless even the smallest font is too wide.
        if (!label->wordWrap()) {
            EXPECT_LE(label->fontMetrics().horizontalAdvance(title), room);
        }
        EXPECT_EQ(label->wordWrap(), title.size() > 30);
        if (title.size() < 17) {
            EXPECT_EQ(label->font().pointSizeF(), n.notifier.Settings().TitleFont.pointSizeF());
        }
    }
}

struct TStepCase {
    QColor From, To;
    int Step, Steps;
    QColor Expected;
};

TEST(PopupGradient, StepColoursRoundToNearest)
{
    const QColor blue(153, 204, 255), white(255, 255, 255);
    const TStepCase cases[] = {
        {blue, white, 0, 112, blue},
        {blue, white, 111, 112, QColor(254, 255, 255)},  // 153 + 101.09, 204 + 50.55
        {blue, white, 112, 112, white},
        {QColor(0, 0, 0), QColor(1, 1, 1), 1, 2, QColor(1, 1, 1)},  // halves away from zero
        {QColor(255, 255, 255), QColor(0, 0, 0), 1, 2, QColor(127, 127, 127)},
    };
    for (const TStepCase& c : cases)
        EXPECT_EQ(GradientStepColor(c.From, c.To, c.Step, c.Steps), c.Expected) << c.Step << "/" << c.Steps;
}

TEST(PopupGradient, WindowRunsFromTheFirstColourToTheSecond)
{
    TNotifier n({0, 0, 1000, 760});
    TfrmPopupNotifier* popup = n.Open();
    ASSERT_TRUE(popup);
    const QImage image = popup->imgGradient()->pixmap().toImage();
    ASSERT_EQ(image.size(), QSize(142, 112));
    EXPECT_EQ(image.pixelColor(0, 0), QColor(153, 204, 255));
    EXPECT_EQ(image.pixelColor(141, 0), QColor(153, 204, 255));
    EXPECT_EQ(image.pixelColor(0, 111), QColor(254, 255, 255));

    const QImage across = PaintGradient(QSize(112, 4), Qt::black, Qt::white, TOrientation::mbHorizontal);
    EXPECT_EQ(across.pixelColor(0, 3), QColor(Qt::black));
    EXPECT_EQ(across.pixelColor(111, 0), QColor(253, 253, 253));
}

TEST(PopupStrip, HasTheFourColourBlocks)
{
    const QImage strip(QStringLiteral(":/strip.bmp"));
    ASSERT_EQ(strip.size(), QSize(138, 3));
    EXPECT_EQ(strip.pixelColor(0, 0), QColor(0xFF, 0xFF, 0x33));
    EXPECT_EQ(strip.pixelColor(72, 1), QColor(0xFF, 0x00, 0x00));
    EXPECT_EQ(strip.pixelColor(94, 2), QColor(0x2B, 0x29, 0x90));
    EXPECT_EQ(strip.pixelColor(137, 2), QColor(0x0F, 0x8D, 0x30));
}

}  // namespace
}  // namespace brevio
