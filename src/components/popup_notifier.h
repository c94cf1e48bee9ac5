#pragma once
// New-mail announcements: a small frameless window that slides out of the taskbar's side of the
// screen, shows a bold title and a wrapped text over a colour gradient, waits, and slides back.
// TPopupNotifier holds the appearance settings; every OpenPopUp makes one independent window
// (TfrmPopupNotifier) that takes a copy of them, so later changes only affect later windows and
// the notifier may go away while windows are still up.

#include <QColor>
#include <QFlags>
#include <QFont>
#include <QLabel>
#include <QList>
#include <QPixmap>
#include <QPointer>
#include <QRect>
#include <QString>
#include <QWidget>

#include <functional>
#include <optional>

class QFrame;
class QTimer;

namespace brevio {

class TfrmPopupNotifier;

// The side of the screen that the taskbar (panel, dock) occupies, numbered as the desktop shells
// number their edges.
enum class TTaskbarEdge { Undetermined = -1, Left = 0, Top = 1, Right = 2, Bottom = 3 };

// A screen and the part of it that windows may use (the screen less its panels).
struct TScreenArea {
    QRect Screen;
    QRect WorkArea;
};
// Where the notifier reads the screen from; nullopt when there is none. Tests pass their own.
using TScreenAreaSource = std::function<std::optional<TScreenArea>()>;

// The taskbar's edge: the side where the work area leaves the widest margin to the screen's edge.
// With no margin anywhere (no panel, or one that does not reserve space) it is the bottom.
TTaskbarEdge TaskbarEdgeOf(const TScreenArea& area);

enum class TOrientation { mbHorizontal, mbVertical };
enum class TPopupImageDrawMethod { dmActualSize, dmTile, dmFit };
// Which screen the windows go to: the desktop's and the primary are both the primary screen; the
// main form's is the screen of the notifier's owner widget; the active form's that of the active
// window. Each falls back to the primary screen.
enum class TPopupMonitor { dmDesktop, dmPrimary, dmMainForm, dmActiveForm };

enum TPopupOption {
    poAutoOpenURL = 0x01,     // a click on the text in hyperlink mode also opens URL
    poSystemFont = 0x02,      // unused: the fonts are always the ones in the settings
    poCascadePopups = 0x04,   // each further window goes beside the previous one
    poAllowScroll = 0x08,     // slide in; without it the window shows at full size at once
    poAllowHyperlink = 0x10,  // the text reacts to hovering and reports OnURLClick
};
Q_DECLARE_FLAGS(TPopupOptions, TPopupOption)
Q_DECLARE_OPERATORS_FOR_FLAGS(TPopupOptions)

// Everything a notification window shows, with the values a new notifier starts with.
struct TPopupSettings {
    QString Text = QStringLiteral("text");
    QString URL = QStringLiteral("https://localhost/");
    QString Title = QStringLiteral("title");
    QPixmap IconBitmap;  // painted at (IconLeft, IconTop); empty: none, and the title moves left
    int IconLeft = 8;
    int IconTop = 8;
    int TimeOut = 10;  // seconds at full size
    int Width = 148;
    int Height = 121;
    QColor GradientColor1{153, 204, 255};
    QColor GradientColor2{255, 255, 255};
    TOrientation GradientOrientation = TOrientation::mbVertical;
    int ScrollSpeed = 9;  // pixels per animation step, 1..50
    QFont Font;
    QColor FontColor;  // invalid: the palette's text colour
    QFont HoverFont;   // the text's font under the mouse, hyperlink mode only
    QColor HoverFontColor{0, 0, 255};
    QFont TitleFont;
    QColor TitleFontColor;
    TPopupOptions Options = poAutoOpenURL | poCascadePopups | poAllowScroll | poAllowHyperlink;
    Qt::Alignment TextAlignment = Qt::AlignHCenter;  // AlignLeft, AlignRight or AlignHCenter
    TPopupImageDrawMethod BackgroundDrawMethod = TPopupImageDrawMethod::dmActualSize;
    Qt::CursorShape TextCursor = Qt::ArrowCursor;
    int PopupMarge = 2;    // gap between cascaded windows
    int PopupStartX = 16;  // distance from the work area's side edge
    int PopupStartY = 2;   // distance from the work area's top or bottom edge
    TPopupMonitor DefaultMonitor = TPopupMonitor::dmDesktop;
    QPixmap BackgroundImage;  // drawn instead of the gradient when not empty

    TPopupSettings();  // the fonts: the application's font, underlined, bold
};

// The colour at `step` of `steps` between c1 (step 0) and c2 (step `steps`), each channel
// rounded to the nearest integer.
QColor GradientStepColor(const QColor& c1, const QColor& c2, int step, int steps);
// A size-filling gradient: rows (vertical) or columns (horizontal) from c1 towards c2.
QImage PaintGradient(const QSize& size, const QColor& c1, const QColor& c2, TOrientation orientation);

class TPopupNotifier : public QObject {
    Q_OBJECT
public:
    explicit TPopupNotifier(QObject* owner = nullptr);
    // Closes the windows that are still up: they belong to the program that is going away.
    ~TPopupNotifier() override;

    TPopupSettings& Settings() { return settings_; }
    const TPopupSettings& Settings() const { return settings_; }

    // Shows one window with the current settings. False when cascading and there is no room for
    // a further window in the work area (then nothing changes).
    bool OpenPopUp();

    // Windows shown and not yet released; the offset at which the next cascaded window goes; the
    // taskbar edge the previous OpenPopUp saw.
    int OpenCount() const { return openCount_; }
    int CascadeOffset() const { return cascadeOffset_; }
    TTaskbarEdge LastTaskbarEdge() const { return lastEdge_; }
    // The windows that are up, oldest first.
    QList<TfrmPopupNotifier*> Popups() const;

    // Replaces the screen the windows are placed on (tests).
    void SetScreenAreaSource(TScreenAreaSource source) { areaSource_ = std::move(source); }
    // The screen area the settings' DefaultMonitor names, or the replacement's.
    std::optional<TScreenArea> ScreenArea() const;

signals:
    // A click on a window. Sender: the window for a left click on the text, else the notifier.
    void OnClick(QObject* sender);
    // A left click on the text in hyperlink mode; sender: the window.
    void OnURLClick(QObject* sender, const QString& url);

private:
    friend class TfrmPopupNotifier;
    void WindowReleased(TfrmPopupNotifier* window);

    TPopupSettings settings_;
    TScreenAreaSource areaSource_;
    QList<QPointer<TfrmPopupNotifier>> windows_;
    int openCount_ = 0;
    int cascadeOffset_ = 0;
    TTaskbarEdge lastEdge_ = TTaskbarEdge::Left;  // the shells' edge 0, as a fresh notifier has
};

// A label that reports the mouse entering and leaving it.
class TMouseLabel : public QLabel {
    Q_OBJECT
public:
    explicit TMouseLabel(QWidget* parent = nullptr);

signals:
    void OnMouseEnter(QObject* sender);
    void OnMouseLeave(QObject* sender);

protected:
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
};

// One notification: a top-most tool window that takes no focus and has no taskbar entry.
class TfrmPopupNotifier : public QWidget {
    Q_OBJECT
public:
    enum class TState { Created, SlidingIn, Waiting, SlidingOut, Released };

    // The settings are copied; `areaSource` says where the screen is.
    TfrmPopupNotifier(TPopupNotifier* notifier, const TPopupSettings& settings, TScreenAreaSource areaSource);
    ~TfrmPopupNotifier() override;

    // Places, paints and shows the window and starts its timers; the notifier's cascade offset
    // moves on for the next window.
    void StartShow();

    TState State() const { return state_; }
    TTaskbarEdge Edge() const { return edge_; }
    int SavedOffset() const { return savedOffset_; }
    // How long the window waits at full size, in milliseconds.
    int WaitInterval() const;

    // The parts, for tests and screenshots.
    QFrame* pnlBorder() const { return pnlBorder_; }
    QLabel* imgGradient() const { return imgGradient_; }
    QLabel* imgStrip() const { return imgStrip_; }
    TMouseLabel* lblTitle() const { return lblTitle_; }
    TMouseLabel* lblText() const { return lblText_; }

    // One step of the slide-in, the end of the wait, one step of the slide-out. The timers call
    // them; tests call them directly instead of waiting.
    void tmrScrollTimer();
    void tmrExitTimer();
    void tmrScrollDownTimer();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void CreatePanel();
    void CreateLabels();
    void CreateTimers();
    // The strip along the panel's bottom edge.
    void CreateStrip();
    // Moves bounds_ to where the window stands at full size beside the taskbar at edge_, above
    // (or below) the windows already up.
    void PlaceBesideTaskbar(const QRect& work);
    // Moves the notifier's cascade offset on past this window.
    void AdvanceCascade();
    // Cuts bounds_ to the one-pixel sliver the slide-in starts from.
    void ShrinkToSliver();
    // Sets the title's font, colour and text.
    void ShowTitle();
    // Sets the title in a font small enough for the room it has.
    void FitTitle();
    void PaintBackground();
    void LayoutText(bool hover);
    void PartReleased(QWidget* part, Qt::MouseButton button, const QPoint& pos);
    void ApplyBounds();
    std::optional<QRect> WorkArea() const;

    QPointer<TPopupNotifier> notifier_;
    TPopupSettings settings_;
    TScreenAreaSource areaSource_;
    QFrame* pnlBorder_;
    QLabel* imgGradient_;
    QLabel* imgStrip_ = nullptr;
    TMouseLabel* lblText_;
    TMouseLabel* lblTitle_;
    QTimer* tmrExit_;
    QTimer* tmrScroll_;
    QTimer* tmrScrollDown_;
    TState state_ = TState::Created;
    TTaskbarEdge edge_ = TTaskbarEdge::Undetermined;
    QRect bounds_;  // the window's rectangle as this window sets it
    int savedOffset_ = 0;
};

}  // namespace brevio
