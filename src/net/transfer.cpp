#include "net/transfer.h"

#include "net/installer_downloader.h"

bool PartialDownload::CanResume(std::wstring_view wanted) const {
    return file && url == wanted && !validator.empty() && acceptsRanges && totalLength > 0 &&
           stored > 0 && stored < totalLength;
}

void PartialDownload::Discard() {
    const bool held = static_cast<bool>(file);
    file.Reset();
    if (held && !path.empty()) ::DeleteFileW(path.c_str());
    *this = PartialDownload();
}

TransferResult DownloadToFile(std::wstring_view url, const std::wstring& path,
                              PartialDownload& partial, const CancelToken& cancel,
                              ProgressSink* progress, ByteObserver* observer) {
    partial.Discard();
    TransferResult result;
    CInstallerDownloader downloader;
    if (!downloader.Download(url, path, nullptr, cancel)) {
        result.outcome = cancel.Cancelled() ? TransferOutcome::Cancelled : TransferOutcome::Failed;
        return result;
    }
    partial.file.Reset(::CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ,
                                     nullptr, OPEN_EXISTING, 0, nullptr));
    if (!partial.file) {
        result.win32Error = ::GetLastError();
        ::DeleteFileW(path.c_str());
        return result;
    }
    if (observer) {
        // First version: the observer sees the stored file once it is complete.
        observer->Restart();
        unsigned char block[64 * 1024];
        DWORD read = 0;
        while (::ReadFile(partial.file.Get(), block, sizeof block, &read, nullptr) && read > 0) {
            observer->Append(block, read);
        }
    }
    partial.path = path;
    partial.url = url;
    partial.stored = partial.totalLength = downloader.ReceivedBytes();
    result.outcome = TransferOutcome::Complete;
    result.httpStatus = 200;
    result.stored = partial.stored;
    if (progress) progress->OnTransferProgress(partial.totalLength, partial.stored);
    return result;
}
