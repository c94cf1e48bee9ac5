#include "components/popup_notifier.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QFrame>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QTimer>
#include <QUrl>

#include <algorithm>
#include <climits>
#include <utility>

namespace brevio {

namespace {

// The window's own thin frame around the bevelled panel.
constexpr int kFrameWidth = 1;
constexpr int kBevelWidth = 2;
constexpr int kStripHeight = 3;
constexpr int kScrollInterval = 25;  // ms per animation step

std::optional<TScreenArea> AreaOf(const QScreen* screen)
{
    if (!screen)
        return std::nullopt;
    return TScreenArea{screen->geometry(), screen->availableGeometry()};
}

}  // namespace

TTaskbarEdge TaskbarEdgeOf(const TScreenArea& area)
{
    if (!area.Screen.isValid() || !area.WorkArea.isValid())
        return TTaskbarEdge::Undetermined;
    const QRect& s = area.Screen;
    const QRect& w = area.WorkArea;
    // In order of preference when two panels are equally wide.
    const std::pair<TTaskbarEdge, int> margins[] = {
        {TTaskbarEdge::Bottom, s.bottom() - w.bottom()},
        {TTaskbarEdge::Right, s.right() - w.right()},
        {TTaskbarEdge::Top, w.top() - s.top()},
        {TTaskbarEdge::Left, w.left() - s.left()},
    };
    TTaskbarEdge edge = TTaskbarEdge::Bottom;
    int widest = 0;
    for (const auto& [side, margin] : margins) {
        if (margin > widest) {
            widest = margin;
            edge = side;
        }
    }
    return edge;
}

TPopupSettings::TPopupSettings()
{
    HoverFont.setUnderline(true);
    TitleFont.setBold(true);
}

// ---------------------------------------------------------------------------------------------

TPopupNotifier::TPopupNotifier(QObject* owner) : QObject(owner) {}

TPopupNotifier::~TPopupNotifier()
{
    const auto windows = std::exchange(windows_, {});
    for (const QPointer<TfrmPopupNotifier>& window : windows)
        delete window.data();
}

QList<TfrmPopupNotifier*> TPopupNotifier::Popups() const
{
    QList<TfrmPopupNotifier*> result;
    for (const QPointer<TfrmPopupNotifier>& window : windows_)
        if (window && window->State() != TfrmPopupNotifier::TState::Released)
            result.append(window);
    return result;
}

std::optional<TScreenArea> TPopupNotifier::ScreenArea() const
{
    if (areaSource_)
        return areaSource_();
    const QScreen* screen = nullptr;
    switch (settings_.DefaultMonitor) {
    case TPopupMonitor::dmMainForm:
        if (auto* owner = qobject_cast<QWidget*>(parent()))
            screen = owner->window()->screen();
        break;
    case TPopupMonitor::dmActiveForm:
        if (QWidget* active = QApplication::activeWindow())
            screen = active->screen();
        break;
    case TPopupMonitor::dmDesktop:
    case TPopupMonitor::dmPrimary:
        break;
    }
    return AreaOf(screen ? screen : QGuiApplication::primaryScreen());
}

bool TPopupNotifier::OpenPopUp()
{
    const std::optional<TScreenArea> area = ScreenArea();
    const TTaskbarEdge edge = area ? TaskbarEdgeOf(*area) : TTaskbarEdge::Undetermined;
    if (edge != lastEdge_) {
        // The windows still up stand along another edge: start the stack afresh.
        lastEdge_ = edge;
        openCount_ = 0;
    }
    if (openCount_ <= 0) {
        cascadeOffset_ = 0;
    } else if ((settings_.Options & poCascadePopups) && area && edge != TTaskbarEdge::Undetermined) {
        // Room when the whole further window lies inside the work area.
        const QRect& work = area->WorkArea;
        const int extent = cascadeOffset_ + settings_.Height + settings_.PopupStartY;
        const bool room = edge == TTaskbarEdge::Top ? work.top() + extent <= work.top() + work.height()
                                                    : work.top() + work.height() - extent >= work.top();
        if (!room)
            return false;
    }
    ++openCount_;

    // The window reads the same screen afresh whenever it needs the work area again.
    TScreenAreaSource source = areaSource_;
    if (!source) {
        const QPointer<QScreen> screen = [&]() -> QScreen* {
            for (QScreen* s : QGuiApplication::screens())
                if (area && s->geometry() == area->Screen)
                    return s;
            return nullptr;
        }();
        source = [screen] { return AreaOf(screen.data()); };
    }
    auto* window = new TfrmPopupNotifier(this, settings_, std::move(source));
    windows_.append(window);
    window->StartShow();
    return true;
}

void TPopupNotifier::WindowReleased(TfrmPopupNotifier* window)
{
    windows_.removeAll(window);
    if (openCount_ > 0)
        --openCount_;
}

// ---------------------------------------------------------------------------------------------

TMouseLabel::TMouseLabel(QWidget* parent) : QLabel(parent) {}

void TMouseLabel::enterEvent(QEnterEvent* event)
{
    QLabel::enterEvent(event);
    emit OnMouseEnter(this);
}

void TMouseLabel::leaveEvent(QEvent* event)
{
    QLabel::leaveEvent(event);
    emit OnMouseLeave(this);
}

// ---------------------------------------------------------------------------------------------

TfrmPopupNotifier::TfrmPopupNotifier(TPopupNotifier* notifier, const TPopupSettings& settings,
                                     TScreenAreaSource areaSource)
    : QWidget(nullptr, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint | Qt::WindowDoesNotAcceptFocus),
      notifier_(notifier), settings_(settings), areaSource_(std::move(areaSource))
{
    setObjectName(QStringLiteral("frmPopupNotifier"));
    setAttribute(Qt::WA_ShowWithoutActivating);
    setAttribute(Qt::WA_QuitOnClose, false);
    setFocusPolicy(Qt::NoFocus);
    settings_.ScrollSpeed = std::clamp(settings_.ScrollSpeed, 1, 50);
    settings_.Width = std::max(settings_.Width, 2 * (kFrameWidth + kBevelWidth) + 1);
    settings_.Height = std::max(settings_.Height, 2 * (kFrameWidth + kBevelWidth) + kStripHeight + 1);
    CreatePanel();
    CreateLabels();
    CreateTimers();
}

void TfrmPopupNotifier::CreatePanel()
{
    // The panel keeps the full size for the window's whole life; the slides only change how much
    // of it the window uncovers.
    pnlBorder_ = new QFrame(this);
    pnlBorder_->setObjectName(QStringLiteral("pnlBorder"));
    pnlBorder_->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    pnlBorder_->setLineWidth(kBevelWidth);
    pnlBorder_->setGeometry(kFrameWidth, kFrameWidth, settings_.Width - 2 * kFrameWidth,
                            settings_.Height - 2 * kFrameWidth);
    const QRect inner = pnlBorder_->rect().adjusted(kBevelWidth, kBevelWidth, -kBevelWidth, -kBevelWidth);

    imgGradient_ = new QLabel(pnlBorder_);
    imgGradient_->setObjectName(QStringLiteral("imgGradient"));
    imgGradient_->setGeometry(inner.adjusted(0, 0, 0, -kStripHeight));
}

void TfrmPopupNotifier::CreateLabels()
{
    lblText_ = new TMouseLabel(pnlBorder_);
    lblText_->setObjectName(QStringLiteral("lblText"));
    lblText_->setTextFormat(Qt::PlainText);  // ampersands as typed
    lblText_->setWordWrap(true);
    lblText_->setAlignment(settings_.TextAlignment | Qt::AlignVCenter);
    lblText_->setGeometry(9, 49, 3, 13);
    connect(lblText_, &TMouseLabel::OnMouseEnter, this, [this] {
        if (settings_.Options & poAllowHyperlink)
            LayoutText(true);
    });
    connect(lblText_, &TMouseLabel::OnMouseLeave, this, [this] {
        if (settings_.Options & poAllowHyperlink)
            LayoutText(false);
    });

    lblTitle_ = new TMouseLabel(pnlBorder_);
    lblTitle_->setObjectName(QStringLiteral("lblTitle"));
    lblTitle_->setTextFormat(Qt::PlainText);
    lblTitle_->move(48, 8);

    for (QWidget* part :
         {static_cast<QWidget*>(imgGradient_), static_cast<QWidget*>(lblText_), static_cast<QWidget*>(lblTitle_)})
        part->installEventFilter(this);
}

void TfrmPopupNotifier::CreateTimers()
{
    tmrExit_ = new QTimer(this);
    tmrExit_->setInterval(10000);
    connect(tmrExit_, &QTimer::timeout, this, &TfrmPopupNotifier::tmrExitTimer);
    tmrScroll_ = new QTimer(this);
    tmrScroll_->setInterval(kScrollInterval);
    connect(tmrScroll_, &QTimer::timeout, this, &TfrmPopupNotifier::tmrScrollTimer);
    tmrScrollDown_ = new QTimer(this);
    tmrScrollDown_->setInterval(kScrollInterval);
    connect(tmrScrollDown_, &QTimer::timeout, this, &TfrmPopupNotifier::tmrScrollDownTimer);
}

TfrmPopupNotifier::~TfrmPopupNotifier()
{
    if (state_ != TState::Released && notifier_)
        notifier_->WindowReleased(this);
}

std::optional<QRect> TfrmPopupNotifier::WorkArea() const
{
    const std::optional<TScreenArea> area = areaSource_ ? areaSource_() : std::nullopt;
    if (!area)
        return std::nullopt;
    return area->WorkArea;
}

int TfrmPopupNotifier::WaitInterval() const
{
    return std::clamp(settings_.TimeOut, 0, INT_MAX / 1000) * 1000;
}

void TfrmPopupNotifier::StartShow()
{
    const std::optional<TScreenArea> area = areaSource_ ? areaSource_() : std::nullopt;
    bounds_ = QRect(pos(), QSize(settings_.Width, settings_.Height));
    CreateStrip();
    lblText_->setCursor(settings_.TextCursor);

    edge_ = area ? TaskbarEdgeOf(*area) : TTaskbarEdge::Undetermined;
    savedOffset_ = notifier_ ? notifier_->cascadeOffset_ : 0;
    if (area)
        PlaceBesideTaskbar(area->WorkArea);
    AdvanceCascade();

    ShowTitle();
    PaintBackground();
    FitTitle();
    lblTitle_->raise();
    lblText_->raise();
    tmrExit_->setInterval(WaitInterval());

    if (settings_.Options & poAllowScroll) {
        ShrinkToSliver();
        state_ = TState::SlidingIn;
        tmrScroll_->start();
    } else {
        state_ = TState::Waiting;
        tmrExit_->start();
    }
    ApplyBounds();
    show();
    raise();  // a newer notification lies above an older one
    LayoutText(false);
}

void TfrmPopupNotifier::CreateStrip()
{
    imgStrip_ = new QLabel(pnlBorder_);
    imgStrip_->setObjectName(QStringLiteral("imgStrip"));
    imgStrip_->setScaledContents(true);
    imgStrip_->setGeometry(kBevelWidth, pnlBorder_->height() - kBevelWidth - kStripHeight,
                           pnlBorder_->width() - 2 * kBevelWidth, kStripHeight);
}

void TfrmPopupNotifier::PlaceBesideTaskbar(const QRect& work)
{
    const int width = settings_.Width;
    const int height = settings_.Height;
    const int offset = savedOffset_;
    const int right = work.left() + work.width();
    const int bottom = work.top() + work.height();
    switch (edge_) {
    case TTaskbarEdge::Left:
        bounds_.moveTopLeft({work.left() + settings_.PopupStartX, bottom - settings_.PopupStartY - height - offset});
        break;
    case TTaskbarEdge::Top:
        bounds_.moveTopLeft({right - width - settings_.PopupStartX, work.top() + settings_.PopupStartY + offset});
        break;
    case TTaskbarEdge::Right:
    case TTaskbarEdge::Bottom:
        bounds_.moveTopLeft({right - width - settings_.PopupStartX, bottom - settings_.PopupStartY - height - offset});
        break;
    case TTaskbarEdge::Undetermined:
        break;
    }
}

void TfrmPopupNotifier::AdvanceCascade()
{
    if (!notifier_)
        return;
    // Cascaded windows stack away from the taskbar: upwards, or downwards from a top one.
    if (!(settings_.Options & poCascadePopups))
        notifier_->cascadeOffset_ = 0;
    else if (edge_ != TTaskbarEdge::Undetermined)
        notifier_->cascadeOffset_ += settings_.Height + settings_.PopupMarge;
}

void TfrmPopupNotifier::ShrinkToSliver()
{
    // Start as a one-pixel sliver on the side that faces the taskbar.
    switch (edge_) {
    case TTaskbarEdge::Left:
        bounds_.setWidth(1);
        break;
    case TTaskbarEdge::Top:
        bounds_.setHeight(1);
        break;
    case TTaskbarEdge::Right:
        bounds_.setLeft(bounds_.right());
        break;
    case TTaskbarEdge::Bottom:
        bounds_.setTop(bounds_.bottom());
        break;
    case TTaskbarEdge::Undetermined:
        break;
    }
}

void TfrmPopupNotifier::ApplyBounds()
{
    if (edge_ == TTaskbarEdge::Undetermined)
        resize(bounds_.size());  // no screen to place it on: where the window system puts it
    else
        setGeometry(bounds_);
}

void TfrmPopupNotifier::tmrScrollTimer()
{
    const int step = settings_.ScrollSpeed;
    const int width = settings_.Width;
    const int height = settings_.Height;
    bool finished = false;
    switch (edge_) {
    case TTaskbarEdge::Left:
        finished = bounds_.width() + step >= width;
        bounds_.setWidth(finished ? width : bounds_.width() + step);
        break;
    case TTaskbarEdge::Top:
        finished = bounds_.height() + step >= height;
        bounds_.setHeight(finished ? height : bounds_.height() + step);
        break;
    case TTaskbarEdge::Right:
        if (bounds_.width() + step < width) {
            bounds_.setLeft(bounds_.left() - step);
        } else {
            finished = true;
            const std::optional<QRect> work = WorkArea();
            const int right =
                work ? work->left() + work->width() - settings_.PopupStartX : bounds_.left() + bounds_.width();
            bounds_ = QRect(right - width, bounds_.top(), width, bounds_.height());
        }
        break;
    case TTaskbarEdge::Bottom:
        if (bounds_.height() + step < height) {
            bounds_.setTop(bounds_.top() - step);
        } else {
            finished = true;
            const std::optional<QRect> work = WorkArea();
            const int bottom = work ? work->top() + work->height() - settings_.PopupStartY - savedOffset_
                                    : bounds_.top() + bounds_.height();
            bounds_ = QRect(bounds_.left(), bottom - height, bounds_.width(), height);
        }
        break;
    case TTaskbarEdge::Undetermined:
        // Never shrunk, so already at full size: go on to the wait instead of sliding forever.
        finished = true;
        break;
    }
    ApplyBounds();
    if (finished) {
        tmrScroll_->stop();
        state_ = TState::Waiting;
        tmrExit_->start();
    }
}

void TfrmPopupNotifier::tmrExitTimer()
{
    tmrExit_->stop();
    state_ = TState::SlidingOut;
    tmrScrollDown_->start();
}

void TfrmPopupNotifier::tmrScrollDownTimer()
{
    const int step = settings_.ScrollSpeed;
    const bool horizontal = edge_ == TTaskbarEdge::Left || edge_ == TTaskbarEdge::Right;
    const int extent = horizontal ? bounds_.width() : bounds_.height();
    if (edge_ == TTaskbarEdge::Undetermined || extent - step <= 0) {
        close();
        return;
    }
    switch (edge_) {
    case TTaskbarEdge::Left:
        bounds_.setWidth(extent - step);
        break;
    case TTaskbarEdge::Top:
        bounds_.setHeight(extent - step);
        break;
    case TTaskbarEdge::Right:
        bounds_.setLeft(bounds_.left() + step);
        break;
    case TTaskbarEdge::Bottom:
        bounds_.setTop(bounds_.top() + step);
        break;
    case TTaskbarEdge::Undetermined:
        break;
    }
    ApplyBounds();
}

bool TfrmPopupNotifier::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::MouseButtonRelease) {
        auto* mouse = static_cast<QMouseEvent*>(event);
        PartReleased(static_cast<QWidget*>(watched), mouse->button(), mouse->position().toPoint());
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

void TfrmPopupNotifier::PartReleased(QWidget* part, Qt::MouseButton button, const QPoint& pos)
{
    // Left or right on the title, the gradient or the text: one OnClick, then the window closes,
    // at any stage of its life. The middle button, the bevel and the strip do nothing.
    if (state_ == TState::Released || (button != Qt::LeftButton && button != Qt::RightButton))
        return;
    if (part == lblText_ && button == Qt::LeftButton) {
        if (!lblText_->rect().contains(pos))
            return;  // pressed on the text but let go elsewhere: no click
        if (settings_.Options & poAllowHyperlink) {
            if (notifier_)
                emit notifier_->OnURLClick(this, settings_.URL);
            if (settings_.Options & poAutoOpenURL)
                QDesktopServices::openUrl(QUrl(settings_.URL));
        } else if (notifier_) {
            emit notifier_->OnClick(this);
        }
    } else if (notifier_) {
        emit notifier_->OnClick(notifier_.data());
    }
    close();
}

void TfrmPopupNotifier::closeEvent(QCloseEvent* event)
{
    event->accept();
    if (state_ == TState::Released)
        return;
    state_ = TState::Released;
    tmrExit_->stop();
    tmrScroll_->stop();
    tmrScrollDown_->stop();
    if (notifier_)
        notifier_->WindowReleased(this);
    deleteLater();  // not now: a click handler further up the stack may still use the window
}

void TfrmPopupNotifier::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setPen(palette().color(QPalette::Dark));
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
}

}  // namespace brevio
