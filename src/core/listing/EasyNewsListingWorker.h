#pragma once

#include "listing/RetrieveParams.h"

#include <memory>

// Thread procedure: lists one newsgroup of an EasyNews account, one day page
// after the other, until a page answers 404, a login is refused twice or the
// run event is reset. Returns 0 always; ends with WM_HEADER_ITEM 1.
int EasyNewsListingWorker(std::unique_ptr<CRetrieveParams> pParams);

// Pause after a page that failed on the network, so an unreachable host is
// not hammered (tests shorten it).
void SetEasyNewsRetryPauseMs(int nMilliseconds);
