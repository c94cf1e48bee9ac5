#include "localization/form_localization.h"

#include "support/string_utils.h"

namespace brevio {

TFormLocalizationItem TFormLocalizationItem::Parse(const QString& line)
{
    TFormLocalizationItem item;
    const qsizetype eq = line.indexOf(u'=');
    if (eq < 0)
        return item;
    const QStringList words = line.left(eq).split(u'.');
    QString value = line.mid(eq + 1);
    ReplaceText(value, QStringLiteral("#13#10"), QStringLiteral("\r\n"), rfReplaceAll | rfIgnoreCase);

    const int dots = int(words.size()) - 1;
    if (dots == 0) {
        item.PropertyName = words[0];
    } else if (dots == 1) {
        item.ComponentName = words[0];
        item.PropertyName = words[1];
    } else if (dots == 2) {
        item.Kind = words[1] == QStringLiteral("Tabs") ? Tabs : ComboItems;
        item.ComponentName = words[0];
    } else {
        if (words[1] == QStringLiteral("Columns"))
            item.Kind = ListViewColumn;
        else if (words[1] == QStringLiteral("Panels"))
            item.Kind = StatusPanel;
        else
            return TFormLocalizationItem{};
        const QString& indexWord = words[2];
        const auto index =
            indexWord.size() >= 2 ? ParseInt32(indexWord.mid(1, indexWord.size() - 2)) : std::optional<int>{};
        if (!index)
            return TFormLocalizationItem{};
        item.ComponentName = words[0];
        item.ItemIndex = *index;
    }
    item.Value = value;
    return item;
}

bool TFormLocalizationItem::IsEffective() const
{
    return Kind != Property || !PropertyName.isEmpty();
}

TFormLocalization::TFormLocalization(QString name, const QStringList& lines) : FormName(std::move(name))
{
    for (const QString& line : lines)
        if (!line.isEmpty())
            Items.append(TFormLocalizationItem::Parse(line));
}

}  // namespace brevio
