#include "support/app_version.h"

#include "support/version_info.h"

namespace brevio {

QString GetAppVersion()
{
    // The executable does not change while it runs.
    static const QString version = TVersionInfoReader().StringValue(QStringLiteral("FileVersion"));
    return version;
}

}  // namespace brevio
