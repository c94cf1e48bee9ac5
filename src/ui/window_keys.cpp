#include "ui/window_keys.h"

#include <QAction>
#include <QApplication>
#include <QKeyEvent>
#include <QWidget>

namespace brevio {

namespace {

bool IsKeypadStar(const QKeyEvent& key)
{
    return key.key() == Qt::Key_Asterisk && key.modifiers() == Qt::KeypadModifier;
}

}  // namespace

TWindowKeys::TWindowKeys(QWidget* window, std::function<bool()> escape, QAction* keypadStar)
    : QObject(window), window_(window), escape_(std::move(escape)), keypadStar_(keypadStar)
{
    qApp->installEventFilter(this);
}

bool TWindowKeys::eventFilter(QObject* watched, QEvent* event)
{
    const QEvent::Type type = event->type();
    if (type != QEvent::ShortcutOverride && type != QEvent::KeyPress)
        return false;
    auto* widget = qobject_cast<QWidget*>(watched);
    if (!widget || widget->window() != window_)
        return false;
    auto* key = static_cast<QKeyEvent*>(event);
    // The override comes first; taking it keeps the key from shortcuts and from the
    // widget's own use of the override. The key press that follows goes to the widget.
    if (type == QEvent::ShortcutOverride && key->key() == Qt::Key_Escape && key->modifiers() == Qt::NoModifier) {
        if (!escape_())
            return false;
        key->accept();
        return true;
    }
    if (IsKeypadStar(*key)) {
        // The press after a taken override must not reach the list, which would search
        // its rows for a "*".
        if (type == QEvent::ShortcutOverride)
            keypadStar_->trigger();
        key->accept();
        return true;
    }
    return false;
}

}  // namespace brevio
