#pragma once

#include <QString>

namespace brevio {

// The program's version text, for example "1.1.1.18": the "FileVersion" string of the running
// executable's version block (empty when it has none). Read once.
QString GetAppVersion();

}  // namespace brevio
