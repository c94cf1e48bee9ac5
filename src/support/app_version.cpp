#include "support/app_version.h"

#ifndef BREVIO_VERSION
#define BREVIO_VERSION ""
#endif

namespace brevio {

QString GetAppVersion() { return QStringLiteral(BREVIO_VERSION); }

}  // namespace brevio
