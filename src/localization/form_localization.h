#pragma once
// The form sections of a language file, parsed: one TFormLocalization per section (named after
// the window class it applies to), one item per line. Applying them to windows is the window
// code's business.
//
// Line grammar (only dots before the first "=" separate words):
//   Caption=...                      a property of the window itself
//   lblPath.Caption=...              a property of a component
//   ListView1.Columns.[2].Caption=.. a list-view column caption (index between two delimiters)
//   StatusBar1.Panels.[0].Text=...   a status-bar panel text
//   pcMain.Tabs.Text=a,b             the tabs of a tab control
//   cbLang.Items.Text=a,,b           the items of a combo box
// In values, "#13#10" (any case) stands for a line break.

#include <QList>
#include <QString>
#include <QStringList>

namespace brevio {

struct TFormLocalizationItem {
    enum TKind : quint8 { Property = 0, ListViewColumn = 1, StatusPanel = 2, ComboItems = 3, Tabs = 4 };

    TKind Kind = Property;
    qint32 ItemIndex = 0;
    QString ComponentName;  // empty: the window itself
    QString PropertyName;   // for Property
    QString Value;

    static TFormLocalizationItem Parse(const QString& line);
    // False for an item that sets nothing (a line without "=", an unknown collection word, an
    // index that is no integer).
    bool IsEffective() const;
};

struct TFormLocalization {
    QString FormName;
    QList<TFormLocalizationItem> Items;  // one per non-empty line, in file order

    TFormLocalization() = default;
    TFormLocalization(QString name, const QStringList& lines);
};

}  // namespace brevio
