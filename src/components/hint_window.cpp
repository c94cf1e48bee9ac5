#include "components/hint_window.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QHelpEvent>
#include <QImage>
#include <QPainter>
#include <QScreen>
#include <QStyleOption>
#include <QTimer>
#include <QToolButton>
#include <QToolTip>

#include "support/program_folders.h"

#include <algorithm>

namespace brevio {

namespace {

constexpr int kTextMarginX = 6;        // added to the text's width
constexpr int kTextMarginY = 2;        // added to the text's height
constexpr int kPictureSpace = 40;      // added below the text for the shortcut picture
constexpr int kPictureMinWidth = 200;  // a hint with a picture is at least this wide
constexpr int kPictureLeft = 5;
constexpr int kPictureGap = 10;    // from the text's height to the picture's top
constexpr int kCursorHeight = 20;  // the hint goes this far below the mouse
constexpr int kHideAfterMs = 10000;

}  // namespace

int AppShowHint(const QWidget* control)
{
    if (qobject_cast<const QToolButton*>(control) && control->parentWidget()
        && control->parentWidget()->objectName() == QLatin1String("ToolBar1"))
        return hmToolbar;
    return hmPlain;
}

QString ShortcutText(const QKeySequence& shortcut)
{
    if (shortcut.isEmpty())
        return {};
    const QKeyCombination combination = shortcut[0];
    const Qt::KeyboardModifiers modifiers = combination.keyboardModifiers();
    QString text;
    if (modifiers & Qt::ShiftModifier)
        text += QLatin1String("Shift+");
    if (modifiers & Qt::ControlModifier)
        text += QLatin1String("Ctrl+");
    if (modifiers & Qt::AltModifier)
        text += QLatin1String("Alt+");
    if (modifiers & Qt::MetaModifier)
        text += QLatin1String("Meta+");
    if (modifiers & Qt::KeypadModifier)
        text += QLatin1String("Num ");
    return text + QKeySequence(combination.key()).toString(QKeySequence::PortableText);
}

QString ShortcutPictureName(const QString& shortcutText)
{
    QString name = shortcutText;
    const qsizetype star = name.indexOf(QLatin1Char('*'));
    if (star >= 0)
        name.replace(star, 1, QLatin1String("zv"));  // "*" cannot stand in a file name everywhere
    return name + QLatin1String(".bmp");
}

QPixmap LoadShortcutPicture(const QString& pictureName, const QStringList& folders)
{
    for (const QString& folder : folders) {
        QImage image(QDir(folder).filePath(pictureName));
        if (image.isNull())
            continue;
        image = image.convertToFormat(QImage::Format_ARGB32);
        for (int y = 0; y < image.height(); ++y) {
            QRgb* line = reinterpret_cast<QRgb*>(image.scanLine(y));
            for (int x = 0; x < image.width(); ++x)
                if ((line[x] & 0xFFFFFF) == 0)
                    line[x] = 0;  // black is the pictures' transparent colour
        }
        return QPixmap::fromImage(image);
    }
    return {};
}

QStringList DefaultPictureFolders()
{
    return {ProgramFolder(QStringLiteral("bmp"))};
}

// ---------------------------------------------------------------------------------------------

TAdvancedHintWindow::TAdvancedHintWindow(QStringList pictureFolders)
    : QWidget(nullptr, Qt::ToolTip | Qt::BypassGraphicsProxyWidget), folders_(std::move(pictureFolders))
{
    setObjectName(QStringLiteral("AdvancedHintWindow"));
    setAttribute(Qt::WA_ShowWithoutActivating);
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setPalette(QToolTip::palette());
    setFont(QToolTip::font());
}

void TAdvancedHintWindow::SetHintMode(int mode)
{
    hintMode_ = mode;
    update();
}

QSize TAdvancedHintWindow::MeasureHint(int maxWidth, const QString& hint, const QWidget* control)
{
    text_ = hint;
    pictureName_.clear();
    picture_ = QPixmap();
    const QRect textRect = fontMetrics().boundingRect(QRect(0, 0, maxWidth, 0), Qt::TextWordWrap, hint);
    QSize size(textRect.width() + kTextMarginX, textRect.height() + kTextMarginY);

    // The command is the one of the button the hint belongs to, so a toolbar in another window
    // shows its own command's shortcut.
    if (hintMode_ == hmToolbar) {
        const auto* button = qobject_cast<const QToolButton*>(control);
        const QAction* action = button ? button->defaultAction() : nullptr;
        const QString shortcut = action ? ShortcutText(action->shortcut()) : QString();
        if (!shortcut.isEmpty()) {
            pictureName_ = ShortcutPictureName(shortcut);
            picture_ = LoadShortcutPicture(pictureName_, folders_);
        }
        // Without its picture the hint stays plain: no empty area.
        if (!picture_.isNull()) {
            size.rheight() += std::max(kPictureSpace, picture_.height() + kPictureGap - kTextMarginY);
            size.setWidth(std::max({size.width(), kPictureMinWidth, kPictureLeft * 2 + picture_.width()}));
        }
    }
    resize(size);
    update();
    return size;
}

void TAdvancedHintWindow::ActivateHint(const QPoint& globalPos)
{
    QPoint pos = globalPos;
    const QScreen* screen = QGuiApplication::screenAt(globalPos);
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    if (screen) {
        const QRect area = screen->availableGeometry();
        if (pos.y() + height() > area.bottom() + 1)
            pos.setY(globalPos.y() - kCursorHeight - height());  // no room below: above the mouse
        pos.setX(std::max(area.left(), std::min(pos.x(), area.right() + 1 - width())));
        pos.setY(std::max(area.top(), pos.y()));
    }
    move(pos);
    show();
    raise();
}

void TAdvancedHintWindow::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    QStyleOptionFrame frame;
    frame.initFrom(this);
    style()->drawPrimitive(QStyle::PE_PanelTipLabel, &frame, &painter, this);
    if (hintMode_ != hmToolbar && hintMode_ != hmPlain)
        return;
    painter.setPen(palette().color(QPalette::ToolTipText));
    QRect drawn;
    painter.drawText(rect().adjusted(2, 2, 0, 0), Qt::TextWordWrap, text_, &drawn);
    if (hintMode_ == hmToolbar && !picture_.isNull())
        painter.drawPixmap(kPictureLeft, drawn.height() + kPictureGap, picture_);
}

// ---------------------------------------------------------------------------------------------

THintController::THintController(QStringList pictureFolders, QObject* parent)
    : QObject(parent), window_(new TAdvancedHintWindow(std::move(pictureFolders)))
{
    hideTimer_ = new QTimer(this);
    hideTimer_->setSingleShot(true);
    hideTimer_->setInterval(kHideAfterMs);
    connect(hideTimer_, &QTimer::timeout, this, &THintController::HideHint);
    qApp->installEventFilter(this);
}

THintController::~THintController()
{
    qApp->removeEventFilter(this);
    delete window_;
}

bool THintController::ShowHintFor(QWidget* control, const QPoint& globalPos)
{
    const QString hint = control ? control->toolTip() : QString();
    if (hint.isEmpty()) {
        HideHint();
        return false;
    }
    window_->SetHintMode(AppShowHint(control));
    const QScreen* screen = QGuiApplication::screenAt(globalPos);
    if (!screen)
        screen = control->screen();
    const int maxWidth = screen ? screen->availableGeometry().width() : 640;
    window_->MeasureHint(maxWidth, hint, control);
    window_->ActivateHint(globalPos + QPoint(0, kCursorHeight));
    control_ = control;
    hideTimer_->start();
    return true;
}

void THintController::HideHint()
{
    hideTimer_->stop();
    control_ = nullptr;
    window_->hide();
}

bool THintController::eventFilter(QObject* watched, QEvent* event)
{
    switch (event->type()) {
    case QEvent::ToolTip:
        // A widget without a tip of its own lets the event go on to its parent, as Qt does.
        if (auto* widget = qobject_cast<QWidget*>(watched); widget && widget != window_)
            if (ShowHintFor(widget, static_cast<QHelpEvent*>(event)->globalPos()))
                return true;
        break;
    case QEvent::Leave:
    case QEvent::Hide:
        if (watched == control_)
            HideHint();
        break;
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
    case QEvent::KeyPress:
    case QEvent::Wheel:
        if (window_->isVisible())
            HideHint();
        break;
    default:
        break;
    }
    return QObject::eventFilter(watched, event);
}

}  // namespace brevio
