// Hints: toolbar hints with the shortcut's picture, plain hints, and the picture files.
#include <QAction>
#include <QApplication>
#include <QHelpEvent>
#include <QMainWindow>
#include <QPushButton>
#include <QToolBar>
#include <QToolButton>
#include <gtest/gtest.h>

#include "components/hint_window.h"

namespace brevio {
namespace {

const QString kPictures = QStringLiteral(BREVIO_SOURCE_DIR "/bmp");
const QString kHint = QStringLiteral("Check new mail");

struct THintCase {
    const char* Name;
    const char* ToolBar;
    QKeySequence Shortcut;
    QString Folder;
    bool WithPicture;
};

class HintSize : public ::testing::TestWithParam<THintCase> {};

TEST_P(HintSize, TextSizedOrRoomForThePicture)
{
    const THintCase& c = GetParam();
    QMainWindow window;
    auto* bar = window.addToolBar(QStringLiteral("bar"));
    bar->setObjectName(QLatin1String(c.ToolBar));
    auto* action = new QAction(QStringLiteral("Check"), &window);
    action->setToolTip(kHint);
    action->setShortcut(c.Shortcut);
    bar->addAction(action);
    auto* button = qobject_cast<QToolButton*>(bar->widgetForAction(action));
    ASSERT_TRUE(button);

    THintController hints({c.Folder});
    ASSERT_TRUE(hints.ShowHintFor(button, QPoint(100, 100)));
    const TAdvancedHintWindow* hint = hints.Window();
    const QRect text = hint->fontMetrics().boundingRect(QRect(0, 0, 2000, 0), Qt::TextWordWrap, kHint);
    const QSize plain(text.width() + 6, text.height() + 2);
    if (c.WithPicture)
        EXPECT_EQ(hint->size(), QSize(std::max(plain.width(), 200), plain.height() + 40));
    else
        EXPECT_EQ(hint->size(), plain);
    EXPECT_TRUE(hint->isVisible());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, HintSize,
    ::testing::Values(THintCase{"ToolbarShortcut", "ToolBar1", QKeySequence(Qt::Key_F9), kPictures, true},
                      THintCase{"ToolbarNoShortcut", "ToolBar1", QKeySequence(), kPictures, false},
                      // A missing picture gives a plain hint, not an empty area.
                      THintCase{"MissingPicture", "ToolBar1", QKeySequence(Qt::Key_F9), QStringLiteral("/nonexistent"),
                                false},
                      THintCase{"OtherToolbar", "ToolBar2", QKeySequence(Qt::Key_F9), kPictures, false}),
    [](const auto& tested) { return std::string(tested.param.Name); });

TEST(HintMode, ToolbarOnlyForToolButtonsOfToolBar1)
{
    QMainWindow window;
    auto* bar = window.addToolBar(QStringLiteral("ToolBar1"));
    bar->setObjectName(QStringLiteral("ToolBar1"));
    auto* tool = qobject_cast<QToolButton*>(bar->widgetForAction(bar->addAction(QStringLiteral("a"))));
    auto* push = new QPushButton(bar);
    EXPECT_EQ(AppShowHint(tool), hmToolbar);
    EXPECT_EQ(AppShowHint(push), hmPlain);
    EXPECT_EQ(AppShowHint(&window), hmPlain);
    EXPECT_EQ(AppShowHint(nullptr), hmPlain);
}

TEST(HintPictures, FileNamesFollowTheShortcutText)
{
    const struct {
        QKeySequence Shortcut;
        const char* File;
    } cases[] = {
        {QKeySequence(Qt::Key_F9), "F9.bmp"},
        {QKeySequence(Qt::Key_Delete), "Del.bmp"},
        {QKeySequence(Qt::CTRL | Qt::Key_A), "Ctrl+A.bmp"},
        {QKeySequence(Qt::KeypadModifier | Qt::Key_Asterisk), "Num zv.bmp"},
        {QKeySequence(Qt::SHIFT | Qt::CTRL | Qt::Key_F5), "Shift+Ctrl+F5.bmp"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ShortcutPictureName(ShortcutText(c.Shortcut)), QLatin1String(c.File));
    EXPECT_TRUE(ShortcutText(QKeySequence()).isEmpty());
}

// Every shortcut of the main window's commands has its picture, with black left out.
TEST(HintPictures, ShippedForEveryCommandShortcut)
{
    const QKeySequence shortcuts[] = {
        QKeySequence(Qt::Key_F1),
        QKeySequence(Qt::Key_F5),
        QKeySequence(Qt::Key_F9),
        QKeySequence(Qt::Key_Delete),
        QKeySequence(Qt::CTRL | Qt::Key_A),
        QKeySequence(Qt::CTRL | Qt::Key_U),
        QKeySequence(Qt::CTRL | Qt::Key_L),
        QKeySequence(Qt::CTRL | Qt::Key_O),
        QKeySequence(Qt::KeypadModifier | Qt::Key_Asterisk),
    };
    for (const QKeySequence& shortcut : shortcuts) {
        const QString name = ShortcutPictureName(ShortcutText(shortcut));
        const QImage picture = LoadShortcutPicture(name, {QStringLiteral("/nonexistent"), kPictures}).toImage();
        ASSERT_FALSE(picture.isNull()) << name.toStdString();
        EXPECT_LE(picture.height(), 30) << name.toStdString();
        EXPECT_EQ(qAlpha(picture.pixel(0, 0)), 0) << name.toStdString();  // a black corner
        EXPECT_EQ(qAlpha(picture.pixel(picture.width() / 2, picture.height() / 2)), 255) << name.toStdString();
    }
}

TEST(HintController, TakesToolTipEventsOfWidgetsWithATip)
{
    QWidget window;
    auto* tipped = new QPushButton(&window);
    tipped->setToolTip(QStringLiteral("Options"));
    auto* inner = new QWidget(tipped);  // no tip of its own: its parent's is shown
    window.show();
    THintController hints({kPictures});

    QHelpEvent event(QEvent::ToolTip, QPoint(1, 1), QPoint(50, 50));
    QApplication::sendEvent(inner, &event);
    EXPECT_EQ(hints.HintControl(), tipped);
    EXPECT_TRUE(hints.Window()->isVisible());
    EXPECT_EQ(hints.Window()->HintMode(), hmPlain);

    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(tipped, &leave);
    EXPECT_FALSE(hints.Window()->isVisible());
}

}  // namespace
}  // namespace brevio
