#pragma once
// Keys that belong to the whole window, whatever holds the focus in it. They are watched at the
// application, before any widget and before shortcut matching: a menu bar left in keyboard mode
// by a menu closed with Esc keeps the next Esc for itself, and some platforms drop the keypad
// modifier before matching shortcuts, so a "Num *" shortcut would never fire there.

#include <QObject>
#include <functional>

class QAction;
class QWidget;

namespace brevio {

class TWindowKeys final : public QObject {
public:
    // `escape` is asked first and says whether it took the key; `keypadStar` fires on the
    // keypad's star.
    TWindowKeys(QWidget* window, std::function<bool()> escape, QAction* keypadStar);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* window_;
    std::function<bool()> escape_;
    QAction* keypadStar_;
};

}  // namespace brevio
