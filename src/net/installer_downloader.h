#pragma once
// The downloader the program uses: its exchanges follow the current user's proxy settings.

#include "net/downloader.h"

class CInstallerDownloader : public Downloader {
  public:
    using Downloader::PerformRequest;
    bool PerformRequest(const CancelToken& cancel) override;
};
