#pragma once

#include <QString>

namespace brevio {

// The program's version text, for example "1.1.1.18"; compiled in by the build.
QString GetAppVersion();

}  // namespace brevio
