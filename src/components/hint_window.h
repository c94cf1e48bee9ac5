#pragma once
// The window every hint (tool tip) of the program is shown in. For the buttons of the main
// window's toolbar it shows the hint text and, below it, a picture of the command's keyboard
// shortcut; every other hint is plain text. THintController takes the application's tool-tip
// events and shows them in one TAdvancedHintWindow.

#include <QKeySequence>
#include <QObject>
#include <QPixmap>
#include <QPointer>
#include <QStringList>
#include <QWidget>

class QTimer;

namespace brevio {

// The kinds of hint: a toolbar hint with the shortcut picture, or plain text.
enum THintMode { hmToolbar = 0, hmPlain = 2 };

// The hint mode for a hint about to be shown for `control`: toolbar for a tool button whose
// parent is named "ToolBar1", plain for anything else (no control included).
int AppShowHint(const QWidget* control);

// A shortcut as the hint pictures name it: the modifiers "Shift+", "Ctrl+" and "Alt+", then the
// key ("F9", "Del", "A"; keypad keys as "Num *"). Empty without a shortcut.
QString ShortcutText(const QKeySequence& shortcut);
// The picture file of a shortcut text: the first "*" becomes "zv", then ".bmp" ("Num zv.bmp").
QString ShortcutPictureName(const QString& shortcutText);
// The picture from the first folder that has it, black drawn as transparent; null when no
// folder has it or it cannot be read.
QPixmap LoadShortcutPicture(const QString& pictureName, const QStringList& folders);
// Where the pictures are looked for by default: the program's folder "bmp" (ProgramFolder).
QStringList DefaultPictureFolders();

class TAdvancedHintWindow : public QWidget {
    Q_OBJECT
public:
    explicit TAdvancedHintWindow(QStringList pictureFolders = DefaultPictureFolders());

    int HintMode() const { return hintMode_; }
    void SetHintMode(int mode);
    // The picture file of the hint being shown ("F9.bmp"); empty when it has none.
    QString PictureName() const { return pictureName_; }
    QStringList PictureFolders() const { return folders_; }

    // The size the hint needs for `hint`, wrapped at `maxWidth`: the text plus 6 by 2 pixels;
    // in toolbar mode, when the command of `control` has a shortcut with a picture, 40 pixels
    // more below and at least 200 wide. Also takes the text and the picture for painting.
    QSize MeasureHint(int maxWidth, const QString& hint, const QWidget* control);

    // Shows the measured hint with its top-left corner at `globalPos`, kept on the screen.
    void ActivateHint(const QPoint& globalPos);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QStringList folders_;
    int hintMode_ = hmToolbar;
    QString text_;
    QString pictureName_;
    QPixmap picture_;
};

// Installed on the application: shows the tool tip of every widget that has one in its hint
// window, in the mode AppShowHint gives. Widgets without a tool tip of their own (item views
// with per-item tips, for one) keep Qt's own tool tips.
class THintController : public QObject {
    Q_OBJECT
public:
    explicit THintController(QStringList pictureFolders = DefaultPictureFolders(), QObject* parent = nullptr);
    ~THintController() override;

    TAdvancedHintWindow* Window() const { return window_; }
    // The widget whose hint is up; null when none is.
    QWidget* HintControl() const { return control_; }
    // Shows the hint of `control` as the tool-tip machinery would with the mouse at `globalPos`;
    // false when the control has no tool tip.
    bool ShowHintFor(QWidget* control, const QPoint& globalPos);
    void HideHint();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    TAdvancedHintWindow* window_;
    QPointer<QWidget> control_;
    QTimer* hideTimer_;
};

}  // namespace brevio
