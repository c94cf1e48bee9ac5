#include "settings/form_placement.h"

#include "support/string_utils.h"

#include <algorithm>

namespace brevio {

QString PointToStr(const QPoint& point)
{
    return QStringLiteral("[%1,%2]").arg(point.x()).arg(point.y());
}

QPoint StrToPoint(const QString& text, const QPoint& defaultPoint)
{
    QString s = text;
    if (s.size() >= 2 && QStringLiteral("([{").contains(s.front()) && QStringLiteral(")]}").contains(s.back()))
        s = s.mid(1, s.size() - 2);
    const qsizetype comma = s.indexOf(u',');
    if (comma < 0)
        return defaultPoint;
    auto coordinate = [](const QString& part, int fallback) {
        return ParseInt32(part.trimmed().left(10)).value_or(fallback);
    };
    return QPoint(coordinate(s.left(comma), defaultPoint.x()), coordinate(s.mid(comma + 1), defaultPoint.y()));
}

QString FormPlacementToStr(bool maximized, const QRect& bounds)
{
    return QStringLiteral("%1;%2;%3;%4")
        .arg(maximized ? QStringLiteral("1") : QStringLiteral("0"), PointToStr(bounds.topLeft()))
        .arg(bounds.width())
        .arg(bounds.height());
}

TFormPlacement ParseFormPlacement(const QString& value)
{
    TFormPlacement placement;
    if (value.isEmpty())
        return placement;
    const QStringList fields = Split(value, QStringLiteral(";"), true);
    // A maximized window keeps the bounds it comes back to when it is restored.
    placement.Maximized = fields.value(0) == QStringLiteral("1");
    if (fields.size() < 2)
        return placement;
    const QPoint point = StrToPoint(fields[1], QPoint(0, 0));
    placement.Position = QPoint(std::max(point.x(), 0), std::max(point.y(), 0));
    if (fields.size() < 3 || !(placement.Width = ParseInt32(fields[2])))
        return placement;
    if (fields.size() >= 4)
        placement.Height = ParseInt32(fields[3]);
    return placement;
}

void SaveFormPlacement(TveqIniFile& file, const QString& formName, bool maximized, const QRect& bounds)
{
    file.WriteString(kFormsPlacementSection, formName, FormPlacementToStr(maximized, bounds));
}

TFormPlacement LoadFormPlacement(const TveqIniFile& file, const QString& formName)
{
    return ParseFormPlacement(file.ReadString(kFormsPlacementSection, formName, QString()));
}

void SaveListViewColumns(TveqIniFile& file, const QString& formName, const QString& listViewName,
                         const QList<int>& widths)
{
    const QString prefix = formName + u'.' + listViewName;
    file.BeginUpdate();
    file.WriteInteger(kListViewColumnsSection, prefix + QStringLiteral("_Count"), int(widths.size()));
    for (int i = 0; i < widths.size(); ++i)
        file.WriteInteger(kListViewColumnsSection, prefix + QString::number(i), widths[i]);
    file.EndUpdate();
}

QList<int> LoadListViewColumns(const TveqIniFile& file, const QString& formName, const QString& listViewName,
                               const QList<int>& currentWidths)
{
    const QString prefix = formName + u'.' + listViewName;
    QList<int> widths = currentWidths;
    const int count = file.ReadInteger(kListViewColumnsSection, prefix + QStringLiteral("_Count"), 0);
    for (int i = 0; i < count && i < widths.size(); ++i)
        widths[i] = file.ReadInteger(kListViewColumnsSection, prefix + QString::number(i), widths[i]);
    return widths;
}

}  // namespace brevio
