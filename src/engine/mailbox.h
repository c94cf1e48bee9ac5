#pragma once
// One configured mailbox: its settings and nothing else. What a check finds travels as values
// (engine/mailbox_session.h), never stored in the mailbox.

#include "engine/mailbox_settings.h"

namespace brevio {

using TMailBox = TMailBoxSettings;

}  // namespace brevio
