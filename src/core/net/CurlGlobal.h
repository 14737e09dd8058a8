#pragma once

// libcurl's global set-up must run exactly once, before the first handle is
// made and never concurrently with anything else in libcurl; every place that
// creates a handle calls this first.
void CurlGlobalInit();
