#pragma once

#include <memory>

class CDownloadParams;

// The thread procedure of one download attempt: requests the article's
// decoded file from its service's download host, writes it into the
// article's folder, reports progress, and posts WM_DOWNLOAD_DONE at its end
// (nothing when the program is closing: StateShutdown). Returns 0.
int DownloadWorker(std::unique_ptr<CDownloadParams> pParams);
