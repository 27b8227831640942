#pragma once
// The caller-facing download entry: a URL, an optional target file and an optional progress
// callback.

#include <cstdint>
#include <string_view>

#include "net/network_communicator.h"

// (announced length, 0 when none was announced; bytes stored so far). Called after every stored
// chunk on the downloading thread.
using ProgressCallback = void (*)(int64_t announcedLength, int64_t receivedBytes);

class Downloader : public NetworkCommunicator {
  public:
    // Empty filePath keeps the body in memory (BodyBuffer); nullptr callback means none. A path
    // ending with a backslash also selects memory mode. True when the whole body was stored.
    bool Download(std::wstring_view url, std::wstring_view filePath, ProgressCallback callback);
    // The same, ended by `cancel` (before or during the exchange) instead of Cancel.
    bool Download(std::wstring_view url, std::wstring_view filePath, ProgressCallback callback,
                  const CancelToken& cancel);

  protected:
    void NotifyProgress(int64_t announcedLength, int64_t receivedBytes) override;

  private:
    void Prepare(std::wstring_view url, std::wstring_view filePath, ProgressCallback callback);

    ProgressCallback progressCallback_ = nullptr;
};
