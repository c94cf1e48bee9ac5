// The line grammar of a form section ("ListView1.Columns.[2].Caption=..."), one section per
// input: its first line is the form name, the others its lines.
#include "localization/form_localization.h"

#include <QString>
#include <QStringList>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    QStringList lines = QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size)).split(u'\n');
    const QString name = lines.takeFirst();
    const brevio::TFormLocalization form(name, lines);
    qsizetype nonEmpty = 0;
    for (const QString& line : lines)
        nonEmpty += line.isEmpty() ? 0 : 1;
    if (form.Items.size() != nonEmpty)
        std::abort();  // one item per non-empty line, as the windows count on
    for (const brevio::TFormLocalizationItem& item : form.Items)
        (void)item.IsEffective();
    return 0;
}
