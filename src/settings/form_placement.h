#pragma once
// Text forms of the main window's placement and of list-view column widths in the settings file.
// Only the texts: applying them to real windows is the window code's business.
//
// Placement: section "Forms Placement", key = the window's name, value "S;[Left,Top];Width;Height"
// with S "1" for a maximized window. Columns: section "Listview Columns", keys
// "<form>.<list>_Count" and "<form>.<list><i>" (no separator before the index).

#include "settings/ini_file.h"

#include <QList>
#include <QPoint>
#include <QRect>
#include <QString>
#include <optional>

namespace brevio {

inline const QString kFormsPlacementSection = QStringLiteral("Forms Placement");
inline const QString kListViewColumnsSection = QStringLiteral("Listview Columns");

// "[x,y]"
QString PointToStr(const QPoint& point);
// Reads "[x,y]" (brackets of any kind, or none); a missing comma gives `defaultPoint`, and a
// coordinate that is no integer gives that coordinate of `defaultPoint`.
QPoint StrToPoint(const QString& text, const QPoint& defaultPoint);

// What a stored placement says: the state, and the normal bounds (those of a maximized window are
// the bounds it is restored to). The parts are filled in order (position, width, height) until
// the first one that cannot be read.
struct TFormPlacement {
    bool Maximized = false;
    std::optional<QPoint> Position;  // never left of or above the origin
    std::optional<int> Width;
    std::optional<int> Height;
};

QString FormPlacementToStr(bool maximized, const QRect& bounds);
TFormPlacement ParseFormPlacement(const QString& value);

void SaveFormPlacement(TveqIniFile& file, const QString& formName, bool maximized, const QRect& bounds);
TFormPlacement LoadFormPlacement(const TveqIniFile& file, const QString& formName);

// Writes the count and every width.
void SaveListViewColumns(TveqIniFile& file, const QString& formName, const QString& listViewName,
                         const QList<int>& widths);
// The widths to apply: `currentWidths` with each stored width put in place; stored columns beyond
// the list's own columns are ignored.
QList<int> LoadListViewColumns(const TveqIniFile& file, const QString& formName, const QString& listViewName,
                               const QList<int>& currentWidths);

}  // namespace brevio
