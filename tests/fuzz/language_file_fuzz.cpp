// A language file as a translator might leave it: the string table and every form section are
// read, and each form is looked up by name the way the windows do.
#include "localization/localizator.h"
#include "settings/options.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static QTemporaryDir dir(
        QDir(QDir(QStringLiteral("/dev/shm")).exists() ? QStringLiteral("/dev/shm") : QDir::tempPath())
            .filePath(QStringLiteral("brevio-fuzz-lang.XXXXXX")));
    {
        QFile out(dir.filePath(QStringLiteral("lang.ENG")));
        if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate))
            std::abort();
        out.write(reinterpret_cast<const char*>(data), qint64(size));
    }
    brevio::TOptions options;
    options.FCurrentLanguage = QStringLiteral("ENG");
    brevio::TLocalizator localizator(options, dir.path());
    for (const brevio::TFormLocalization& form : localizator.Forms) {
        if (localizator.FindForm(form.FormName) == nullptr)
            std::abort();  // every form section read must be found by its own name
        for (const brevio::TFormLocalizationItem& item : form.Items)
            (void)item.IsEffective();
    }
    for (int i = 0; i < brevio::texts::TextCount; ++i)
        (void)localizator.Strings.Text(brevio::texts::TTextId(i));
    return 0;
}
