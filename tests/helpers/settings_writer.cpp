// Saves a settings file over and over until killed, for the tests that kill it mid-save:
//   settings_writer ini|stats FILE
// Save number g writes g into every one of many keys ("ini") or into all six usage counters
// ("stats"), then prints "saved g". A file is whole when every value in it is the same g.
#include "settings/ini_file.h"
#include "stats/usage_stats.h"

#include <QString>
#include <cstdio>
#include <cstring>

int main(int argc, char** argv)
{
    if (argc != 3)
        return 2;
    const QString file = QString::fromLocal8Bit(argv[2]);
    const bool stats = std::strcmp(argv[1], "stats") == 0;
    // Padding makes each save a file of some 100 KB, written in many pieces.
    const QString padding(400, u'x');
    for (qint64 g = 1;; ++g) {
        if (stats) {
            brevio::TUsageStats counters(file);
            counters.RegisterStandardCounters();
            for (int i = 0; i < counters.Count(); ++i)
                static_cast<brevio::TIntegerCounter*>(counters.Counter(i))->FValue = g;
            counters.Save();
        } else {
            brevio::TveqIniFile ini(file);
            ini.BeginUpdate();
            for (int k = 0; k < 250; ++k)
                ini.WriteString(QStringLiteral("Section%1").arg(k % 5), QStringLiteral("Key%1").arg(k),
                                QString::number(g) + u' ' + padding);
            ini.EndUpdate();
        }
        std::printf("saved %lld\n", static_cast<long long>(g));
        std::fflush(stdout);
    }
}
