#pragma once
// Downloading a file over one or more attempts: the file of a failed attempt is kept, held, and
// the next attempt for the same URL asks only for the rest (a range request guarded by the
// first answer's validator). Used for the setup file.

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "net/cancel_token.h"
#include "win/handles.h"

// Called on the transferring thread after every stored block.
class ProgressSink {
  public:
    // totalLength: the file's full length, 0 when unknown; stored: bytes in the file so far.
    virtual void OnTransferProgress(int64_t totalLength, int64_t stored) = 0;

  protected:
    ~ProgressSink() = default;
};

// Sees every stored body byte, in file order, across attempts.
class ByteObserver {
  public:
    // The file starts over from byte 0 (a fresh start, or a 200 answer to a range request).
    virtual void Restart() = 0;
    virtual void Append(const unsigned char* bytes, size_t count) = 0;

  protected:
    ~ByteObserver() = default;
};

// What a failed attempt leaves for the next one: the partial file, held open (others may read,
// nobody may write), with what is needed to ask for the rest. After a complete transfer `file`
// holds the complete file the same way.
struct PartialDownload {
    kv::win::FileHandle file;  // empty: nothing kept
    std::wstring path, url;
    std::wstring validator;  // strong ETag, else Last-Modified; empty: cannot resume
    bool validatorIsEtag = false;
    int64_t totalLength = 0;  // the full length the first answer announced
    int64_t stored = 0;
    bool acceptsRanges = false;

    PartialDownload() = default;
    PartialDownload(PartialDownload&&) noexcept = default;
    PartialDownload& operator=(PartialDownload&&) noexcept = default;
    ~PartialDownload() = default;

    // True when the rest of `url` may be asked for: the same URL, a file held, a validator, a
    // length, ranges served, and part (not all) of the file stored.
    bool CanResume(std::wstring_view url) const;
    // Closes and deletes the file, and forgets everything.
    void Discard();
};

enum class TransferOutcome { Complete, Failed, Cancelled };

struct TransferResult {
    TransferOutcome outcome = TransferOutcome::Failed;
    DWORD httpStatus = 0;  // 0: no answer
    DWORD win32Error = 0;  // 0: none
    int64_t stored = 0;    // bytes in the file at the end
};

// Downloads `url` into `path`, resuming from `partial` when partial.CanResume(url) and it holds
// `path`, else starting the file over. On success the complete file is handed back in
// `partial.file` (held: read sharing only). On failure or cancel after storing bytes of an
// answer that can be resumed, `partial` holds what to resume from; otherwise it is empty and
// nothing is left on disk. The exchange follows the user's proxy settings and the token; it
// blocks the calling thread. `progress` and `observer` may be null.
TransferResult DownloadToFile(std::wstring_view url, const std::wstring& path,
                              PartialDownload& partial, const CancelToken& cancel,
                              ProgressSink* progress, ByteObserver* observer);
