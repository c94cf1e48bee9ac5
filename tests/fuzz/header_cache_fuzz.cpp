// The header cache reading its file, which anything may have written or damaged: the input is
// the file. Whatever it loads must be written back and read again as the same number of
// entries, so the reader takes nothing the writer cannot give back.
#include "engine/header_cache.h"

#include <QFile>
#include <QTemporaryDir>

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    using namespace brevio;
    static QTemporaryDir folder;
    const QString fileName = folder.filePath(QStringLiteral("headers.cache"));
    {
        QFile file(fileName);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)
            || file.write(reinterpret_cast<const char*>(data), qint64(size)) != qint64(size))
            std::abort();
    }
    qsizetype kept = 0;
    {
        THeaderCache cache(fileName);
        cache.Load();
        if (cache.EntryCount() == 0)
            return 0;
        // Storing a folder marks the cache changed, so Save writes it all again.
        cache.Store(QStringLiteral("fuzz"), "INBOX", 1, {{"1", TCachedHeader{}}}, true);
        kept = cache.EntryCount();
        if (!cache.Save())
            std::abort();
    }
    THeaderCache again(fileName);
    again.Load();
    if (again.EntryCount() != kept)
        std::abort();
    return 0;
}
