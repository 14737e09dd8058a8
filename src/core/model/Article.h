#pragma once

#include "model/ManualResetEvent.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

class CArchive;

// Download states; the value is also the index of the state's icon.
enum ArticleState : int32_t
{
    StateListed = -1,
    StateQueued = 0,
    StateDownloading = 1,
    StateExported = 2,
    StateDone = 3,
    StateFailed = 4,
    StateIncomplete = 5,
    StateCancelled = 6,
    StateRemoving = 7,
    StateShutdown = 8,
};

// Bits of m_nLists.
enum ArticleListBits : int32_t
{
    ListArticles = 1,
    ListProgress = 2,
};

// In memory only: what a download of an article keeps beside the listed
// fields. Written by the worker under the article's m_lock.
struct CArticleTransfer
{
    std::string m_strTimeLeft;
    float m_fSpeed = 0.0f;
    // The validator (strong ETag, else Last-Modified) of the
    // first answer of a download, so a retry can continue the partial file
    // with If-Range. Cleared when the article is queued afresh.
    std::string m_strResumeValidator;
    // Bytes of the file the running (or last) attempt has on disk, continued
    // part included, for the progress list's bar; atomic so that a paint may
    // read it lock-free.
    std::atomic<int64_t> m_nReceived{0};
    // The file this article's downloads created last, by path and identity.
    // A new download of the same article may replace or continue it; any
    // other existing file is left alone.
    std::string m_strOwnFile;
    uint64_t m_nOwnFileDev = 0;
    uint64_t m_nOwnFileIno = 0;
    // An attempt since the article was last queued opened m_strOwnFile, so a
    // final failure may delete it. An attempt that never got that far leaves
    // an earlier download's file alone.
    bool m_bWroteOwnFile = false;
    // Why the last attempt failed, "" after a success; the progress row's
    // tooltip.
    std::string m_strLastError;
    // The exact size when it does not fit m_nSize (see GetSize); from the
    // listing, or from the download's answer.
    int64_t m_nFullSize = 0;
};

// One article of a listing and of the queue. Both lists and a running download
// worker hold it through a shared_ptr, so the last one to let go frees it;
// m_nLists still records list membership because several rules read it.
class CArticle
{
public:
    CArticle() = default;
    ~CArticle();
    CArticle(const CArticle&) = delete;
    CArticle& operator=(const CArticle&) = delete;

    // Stores or loads the ten persistent fields, in the queue file's order.
    void Serialize(CArchive& ar);

    // The size in bytes. The stored field holds 32 bits, as the queue file
    // always had it: a larger file keeps INT32_MAX there (what an older
    // reader of the queue file understands as "as large as it gets") and its
    // exact size beside it, in memory only. Take m_lock when a worker may run.
    int64_t GetSize() const;
    void SetSize(int64_t nSize);

    void Lock() const { m_lock.lock(); }
    void Unlock() const { m_lock.unlock(); }

    int32_t m_nLists = 0;
    int32_t m_nRetries = 0;
    int32_t m_nState = StateQueued;
    int32_t m_nService = 0;
    int32_t m_nSize = 0;
    // Stop event of the running download; a new one is made for every attempt,
    // before the worker thread starts, so an early stop is never lost.
    std::shared_ptr<CManualResetEvent> m_hRunEvent;
    mutable std::recursive_mutex m_lock;
    std::string m_strDecodeQuery;
    std::string m_strSavedName;
    std::string m_strDownloadPath;
    std::string m_strFileName;
    std::string m_strSubject;
    std::string m_strDate;
    std::string m_strAuthor;

    // The download's bookkeeping, made on first use, so that an article that
    // is only listed does not carry it. Writers take m_lock; the state stays
    // until the article goes, so a reference to it stays valid.
    CArticleTransfer& Transfer();
    // Reading only: the article's bookkeeping, or an empty one when no
    // download has touched it yet. Take m_lock for the texts.
    const CArticleTransfer& GetTransfer() const;

private:
    std::atomic<CArticleTransfer*> m_pTransfer{nullptr};
};

using ArticlePtr = std::shared_ptr<CArticle>;
