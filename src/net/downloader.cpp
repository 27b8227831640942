#include "net/downloader.h"

#include <string>

bool Downloader::Download(std::wstring_view url, std::wstring_view filePath,
                          ProgressCallback callback) {
    Prepare(url, filePath, callback);
    return PerformRequest();
}

bool Downloader::Download(std::wstring_view url, std::wstring_view filePath,
                          ProgressCallback callback, const CancelToken& cancel) {
    Prepare(url, filePath, callback);
    return PerformRequest(cancel);
}

void Downloader::Prepare(std::wstring_view url, std::wstring_view filePath,
                         ProgressCallback callback) {
    SetTargetUrl(url);
    progressCallback_ = callback;
    std::wstring folder;
    std::wstring fileName;
    if (!filePath.empty()) {
        // Split at the last backslash; one at the very start belongs to the file name.
        const size_t split = filePath.find_last_of(L'\\');
        if (split == std::wstring_view::npos || split == 0) {
            fileName = filePath;
        } else {
            folder = filePath.substr(0, split);
            fileName = filePath.substr(split + 1);
        }
    }
    SetTarget(std::move(folder), std::move(fileName));
}

void Downloader::NotifyProgress(int64_t announcedLength, int64_t receivedBytes) {
    if (progressCallback_) progressCallback_(announcedLength, receivedBytes);
}
