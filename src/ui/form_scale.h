#pragma once
// Window sizes given for an 8-point system font at 96 DPI, scaled by how much wider the current
// font's characters are, so texts fit as they did there.

#include <QFontMetrics>
#include <QScreen>
#include <QWidget>
#include <cmath>

namespace brevio {

// The average character width of the font the sizes were made for.
constexpr double kDesignCharWidth = 6.0;

inline int Scaled(const QWidget* widget, int pixels)
{
    const double ratio = widget->fontMetrics().averageCharWidth() / kDesignCharWidth;
    return int(std::lround(pixels * (ratio > 0 ? ratio : 1.0)));
}

// The frame of a dialog that cannot be resized: a title and a close box, and no buttons to
// minimize or maximize it, which would take room from the title.
inline constexpr Qt::WindowFlags kFixedDialogFlags =
    Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint;

// Puts `window` in the middle of the work area of the screen it is on (the desktop without the
// taskbar), as the dialogs that edit the settings open.
inline void CenterOnScreen(QWidget* window)
{
    const QScreen* screen = window->screen();
    if (!screen)
        return;
    QRect frame = window->frameGeometry();
    frame.moveCenter(screen->availableGeometry().center());
    window->move(frame.topLeft());
}

}  // namespace brevio
