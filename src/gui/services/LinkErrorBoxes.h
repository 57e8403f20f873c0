#pragma once

#include "settings/SendNotices.h"

class IMessageService;

// Shows the boxes of a send's outcome (at most one; none when the string was delivered), before
// the caller's own words. UI thread only.
void ShowLinkError(IMessageService& messages, const SendOutcome& outcome);
