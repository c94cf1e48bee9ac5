#include "ui/caps_lock.h"

#include <QGuiApplication>
#include <QKeyEvent>

#ifdef Q_OS_WIN
#include <windows.h>
#endif

namespace brevio {

std::optional<bool> QueryCapsLockX11();

void TCapsLockTracker::Observe(const QKeyEvent& event)
{
    if (event.key() == Qt::Key_CapsLock) {
        // Only the press toggles the lock; from an unknown state the result stays unknown.
        if (event.type() == QEvent::KeyPress && seen_)
            seen_ = !*seen_;
        return;
    }
    if (QGuiApplication::platformName() == QLatin1String("xcb")) {
        constexpr quint32 kLockMask = 1u << 1;  // X11 LockMask
        seen_ = (event.nativeModifiers() & kLockMask) != 0;
    }
}

std::optional<bool> TCapsLockTracker::State() const
{
    if (auto platform = QueryCapsLock())
        return platform;
    return seen_;
}

std::optional<bool> QueryCapsLock()
{
#ifdef Q_OS_WIN
    return (GetKeyState(VK_CAPITAL) & 1) != 0;
#else
    return QueryCapsLockX11();
#endif
}

}  // namespace brevio

// The X11 headers define macros (KeyPress, None, Bool) that clash with Qt names: they come last.
#if defined(BREVIO_HAVE_X11) && !defined(Q_OS_WIN)
#include <QtGui/qguiapplication_platform.h>
#include <X11/XKBlib.h>
#endif

namespace brevio {

std::optional<bool> QueryCapsLockX11()
{
#if defined(BREVIO_HAVE_X11) && !defined(Q_OS_WIN) && QT_CONFIG(xcb)
    if (QGuiApplication::platformName() != QLatin1String("xcb"))
        return std::nullopt;
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    if (!x11 || !x11->display())
        return std::nullopt;
    unsigned int indicators = 0;
    if (XkbGetIndicatorState(x11->display(), XkbUseCoreKbd, &indicators) != Success)
        return std::nullopt;
    // The first indicator of the core keyboard is Caps Lock on every common keymap.
    return (indicators & 1u) != 0;
#else
    return std::nullopt;
#endif
}

}  // namespace brevio
