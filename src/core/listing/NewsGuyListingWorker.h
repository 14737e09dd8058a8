#pragma once

#include "listing/RetrieveParams.h"

#include <memory>
#include <string>

// Thread procedure: lists one newsgroup of a NewsGuy or NewsGuy Extra account
// and posts its articles to the record's window. Returns 0 always; ends with
// the run event reset and WM_HEADER_ITEM 1.
int NewsGuyListingWorker(std::unique_ptr<CRetrieveParams> pParams);

// The listing object for a newsgroup, with the account's retrieve-by and
// binaries-only values (the worker sets them to 3 and off first).
std::string NewsGuyListingObject(int32_t nRetrieveBy, bool bShowOnlyBin, const std::string& strNewsgroup);
