#include "download/DownloadWorker.h"

#include "download/DownloadOptions.h"
#include "download/DownloadParams.h"
#include "download/SavedFileName.h"
#include "download/TransferProgress.h"
#include "net/GatewayHosts.h"
#include "net/HttpRequestFramework.h"

#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <system_error>
#include <thread>
#include <unistd.h>

namespace
{
constexpr size_t kBlockSize = 1024000;
constexpr const char* kDiskFull = "Error: There is not enough space on the disk.";

struct CServiceTarget
{
    const char* pszServiceName;
    std::string strObject;
};

CServiceTarget ChooseTarget(int32_t nService, const std::string& strQuery)
{
    switch (nService)
    {
    case ServiceNewsGuy:
        return {"NewsGuy", GatewayHosts::kNewsGuyDecodePath + strQuery};
    case ServiceWebUseNet:
    case ServiceWebUseNetMembers:
        return {"WebUseNet", GatewayHosts::kWebUseNetDecodePath + strQuery};
    case ServiceEasyNews:
        return {"EasyNews", strQuery};
    case ServiceNewsGuyExtra:
    default:
        return {"NewsGuy Extra", GatewayHosts::kNewsGuyDecodePath + strQuery};
    }
}

// Whole seconds, as the speed and average have always been measured.
int64_t NowSeconds()
{
    return static_cast<int64_t>(std::time(nullptr));
}

void Post(const std::shared_ptr<IMessageSink>& pView, uint32_t nMessage, intptr_t wParam, ArticlePtr pArticle,
          std::string strText = {})
{
    if (!pView)
        return;
    CViewMessage msg;
    msg.nMessage = nMessage;
    msg.wParam = wParam;
    msg.pArticle = std::move(pArticle);
    msg.strText = std::move(strText);
    pView->PostMessage(std::move(msg));
}

// The leading decimal digits of a Content-Length value. False when the value
// is beyond any file (more than 63 bits): such an answer fails cleanly.
bool ParseContentLength(const std::string& strValue, int64_t& nLength)
{
    int64_t n = 0;
    for (char c : strValue)
    {
        if (c < '0' || c > '9')
            break;
        if (n > (INT64_MAX - (c - '0')) / 10)
            return false;
        n = n * 10 + (c - '0');
    }
    nLength = n;
    return true;
}

// The start of a "bytes N-M/T" Content-Range; -1 when it is not one.
int64_t ContentRangeStart(const std::string& strValue)
{
    if (strValue.rfind("bytes ", 0) != 0)
        return -1;
    char* pEnd = nullptr;
    long long n = std::strtoll(strValue.c_str() + 6, &pEnd, 10);
    if (pEnd == strValue.c_str() + 6 || *pEnd != '-')
        return -1;
    return n;
}

// What can validate a later Range request for the same body: a strong ETag,
// else Last-Modified; "" when neither.
std::string ResumeValidator(const CHttpRequest& request)
{
    std::string strValue;
    if (request.QueryHeader("ETag", strValue) && !strValue.empty() && strValue.rfind("W/", 0) != 0)
        return strValue;
    if (request.QueryHeader("Last-Modified", strValue) && !strValue.empty())
        return strValue;
    return {};
}

// Writes all n bytes; false with errno on failure.
bool WriteAll(int fd, const char* p, size_t n)
{
    while (n > 0)
    {
        ssize_t nWritten = ::write(fd, p, n);
        if (nWritten < 0)
        {
            if (errno == EINTR)
                continue;
            return false;
        }
        p += nWritten;
        n -= static_cast<size_t>(nWritten);
    }
    return true;
}

// The file an article's downloads created last.
struct COwnFile
{
    std::string strPath;
    uint64_t nDev = 0;
    uint64_t nIno = 0;
    // What the file is marked with on disk, so that a later run of the
    // program knows it too: the service code and the decode query.
    std::string strMark;
};

constexpr const char* kOwnerAttribute = "user.dravelin.article";

// strPath is still the very file this article created (not one that took its
// name meanwhile), or a file an earlier run marked as this article's; st is
// filled when the file exists.
bool IsOwnFile(const std::string& strPath, const COwnFile& own, struct stat& st)
{
    if (::stat(strPath.c_str(), &st) != 0)
        return false;
    if (!own.strPath.empty() &&
        std::filesystem::path(strPath).lexically_normal() ==
            std::filesystem::path(own.strPath).lexically_normal() &&
        static_cast<uint64_t>(st.st_dev) == own.nDev && static_cast<uint64_t>(st.st_ino) == own.nIno)
        return true;
    if (!S_ISREG(st.st_mode) || own.strMark.empty())
        return false;
    std::string strMark(own.strMark.size() + 1, '\0');
    ssize_t n = ::getxattr(strPath.c_str(), kOwnerAttribute, strMark.data(), strMark.size());
    return n == static_cast<ssize_t>(own.strMark.size()) &&
           strMark.compare(0, own.strMark.size(), own.strMark) == 0;
}

constexpr int kMaxNumberedNames = 9999;

// Opens this attempt's file in strFolder (which ends in '/'). The name comes
// first; when another running download writes it, or an existing file of
// that name is not this article's own, "name (2).ext" and so on follow. A
// continued download opens its own partial file. The chosen path stays
// claimed until the caller releases it. -1 with errno in nError when no file
// could be created.
int OpenTargetFile(const std::string& strFolder, const std::string& strName, const COwnFile& own,
                   bool bAppend, std::string& strChosen, int& nError)
{
    for (int n = 1; n <= (bAppend ? 1 : kMaxNumberedNames); ++n)
    {
        const std::string strCandidate = CSavedFileName::Numbered(strName, n);
        const std::string strPath = strFolder + strCandidate;
        if (!CFileClaims::Claim(strPath))
        {
            nError = EBUSY;
            continue;
        }
        struct stat st
        {
        };
        int nFlags = O_WRONLY | O_CREAT | O_CLOEXEC;
        if (bAppend)
            nFlags = O_WRONLY | O_APPEND | O_CLOEXEC;
        else if (IsOwnFile(strPath, own, st))
            nFlags |= O_TRUNC;
        else
            nFlags |= O_EXCL; // a file that is not ours is never replaced
        int fd = ::open(strPath.c_str(), nFlags, 0644);
        if (fd >= 0)
        {
            // Where the file system keeps no such marks, only this run knows.
            if (!bAppend)
                ::fsetxattr(fd, kOwnerAttribute, own.strMark.data(), own.strMark.size(), 0);
            strChosen = strCandidate;
            return fd;
        }
        nError = errno;
        CFileClaims::Release(strPath);
        if (nError != EEXIST)
            return -1;
    }
    return -1;
}

// The system's words for an errno value.
std::string SystemReason(int nError)
{
    return std::error_code(nError, std::generic_category()).message();
}

// How an attempt ended, for the closing steps.
enum AttemptEnd
{
    EndNormal,    // reached the average line
    EndNoAverage, // refused login, network failure, write failure: no average line
};
} // namespace

int DownloadWorker(std::unique_ptr<CDownloadParams> pParams)
{
    // Step 1: take what the record holds; the record itself goes.
    std::shared_ptr<IMessageSink> pView = std::move(pParams->m_pView);
    AccountPtr pAccount = std::move(pParams->m_pAccount);
    std::shared_ptr<CPreferences> pSettings = std::move(pParams->m_pSettings);
    ArticlePtr pArticle = std::move(pParams->m_pArticle);
    const bool bPort81 = pParams->m_bPort81 != 0;
    std::shared_ptr<CManualResetEvent> pRunEvent = std::move(pParams->m_pRunEvent);
    pParams.reset();
    if (!pRunEvent)
        pRunEvent = std::make_shared<CManualResetEvent>(true);

    CProxyChoice proxy = ResolveProxy(*pSettings);

    std::string strHost;
    int32_t nService = 0;
    {
        std::lock_guard lock(pAccount->m_lock);
        strHost = pAccount->m_strDownloadDomain;
        nService = pAccount->m_nService;
    }
    std::string strQuery;
    std::string strResumeValidator;
    std::string strResumePath;
    std::string strResumeName;
    std::string strListedName;
    COwnFile own;
    {
        std::lock_guard lock(pArticle->m_lock);
        strQuery = pArticle->m_strDecodeQuery;
        strListedName = pArticle->m_strFileName;
        const CArticleTransfer& transfer = pArticle->GetTransfer();
        own.strPath = transfer.m_strOwnFile;
        own.nDev = transfer.m_nOwnFileDev;
        own.nIno = transfer.m_nOwnFileIno;
        own.strMark = std::to_string(pArticle->m_nService) + ":" + pArticle->m_strDecodeQuery;
        strResumeValidator = transfer.m_strResumeValidator;
        strResumeName = pArticle->m_strSavedName;
        strResumePath = pArticle->m_strDownloadPath;
    }
    CServiceTarget target = ChooseTarget(nService, strQuery);

    bool bResumeFailed = false;
    bool bReplaceUnderscore = false;
    bool bComCtl5 = false;
    {
        std::lock_guard lock(pSettings->m_lock);
        bResumeFailed = pSettings->m_bResumeFailed != 0;
        bReplaceUnderscore = pSettings->m_bReplaceUnderscore != 0;
        bComCtl5 = pSettings->m_bComCtl5 != 0;
    }

    HttpRequestProfile profile;
    profile.m_strHost = strHost;
    profile.m_nPort = bPort81 ? GatewayHosts::kEasyNewsAltPort : 0;
    profile.m_strObject = target.strObject;
    profile.m_nFlags = HttpFlags::kDownloadRequest;
    profile.m_strServiceName = target.pszServiceName;
    profile.m_pStatusWindow = pView;
    profile.m_pRunEvent = pRunEvent;
    profile.m_bHandleRedirects = true;
    profile.m_nRedirectFlags =
        bResumeFailed ? HttpFlags::kRedirectRequestResume : HttpFlags::kRedirectRequest;

    // A retry continues its partial file when the first answer left a
    // validator and the file it wrote is still there.
    int64_t nResumeFrom = 0;
    if (bResumeFailed && !strResumeValidator.empty() && !strResumeName.empty())
    {
        std::string strDir = strResumePath;
        if (!strDir.empty() && strDir.back() != '/')
            strDir += '/';
        struct stat st
        {
        };
        if (IsOwnFile(strDir + strResumeName, own, st) && S_ISREG(st.st_mode) && st.st_size > 0)
        {
            nResumeFrom = static_cast<int64_t>(st.st_size);
            profile.m_extraHeaders.push_back("Range: bytes=" + std::to_string(nResumeFrom) + "-");
            profile.m_extraHeaders.push_back("If-Range: " + strResumeValidator);
        }
    }

    bool bOk = false;
    AttemptEnd nEnd = EndNoAverage;
    int fd = -1;
    std::string strClaimed; // the path this attempt writes, claimed until its end
    // Why the attempt failed, in words; the first cause found is the one told.
    std::string strReason;
    auto fail = [&](const std::string& strWhy)
    {
        bOk = false;
        if (strReason.empty())
            strReason = strWhy;
    };
    std::unique_ptr<CInternetSession> pSession =
        OpenInternetSession(proxy, HttpFlags::kDownloadSession, profile);
    std::unique_ptr<CHttpConnection> pConnection;
    std::unique_ptr<CHttpRequest> pRequest;
    if (pSession)
    {
        pSession->m_nStallSeconds = static_cast<long>(CDownloadOptions::GetStallSeconds());
        pConnection = ConnectToHost(*pSession, profile, *pAccount);
        pRequest = OpenHttpRequest(*pConnection, profile.m_strObject, profile.m_nFlags, profile);
    }
    int nStatus = pRequest ? SendWithCredentials(pRequest, *pConnection, profile, *pAccount, *pSettings)
                           : SendNetworkError;
    if (nStatus == SendNetworkError)
        fail(pRequest ? pRequest->DescribeFailure() : "no network session could be opened");
    else if (nStatus == SendRefused)
        fail("the login was refused");
    else if (nStatus == SendRedirectFailed)
        fail("the redirect could not be followed");
    if (nStatus > 0)
    {
        bOk = true;
        // The file name from this answer.
        std::string strDisposition;
        pRequest->QueryHeader("Content-Disposition", strDisposition);
        std::string strName = CSavedFileName::Make(strDisposition, strListedName, pRequest->GetObject(),
                                                   bComCtl5, bReplaceUnderscore);

        // The size.
        int64_t nTotal = 0;
        std::string strLength;
        // An error page is not the article.
        if (nStatus >= 400)
        {
            const std::string& strHeaders = pRequest->GetRawHeaders();
            std::string strLine = strHeaders.substr(0, strHeaders.find_first_of("\r\n"));
            size_t nBlank = strLine.find(' ');
            fail("the server answered " +
                 (nBlank == std::string::npos ? std::to_string(nStatus) : strLine.substr(nBlank + 1)));
        }
        if (!pRequest->QueryHeader("Content-Length", strLength) || strLength.empty())
            fail("the answer has no Content-Length");
        else if (!ParseContentLength(strLength, nTotal))
            fail("the file is too large (" + strLength + " bytes)");

        // Continue the partial file, start it again, or give up on resuming.
        bool bAppend = false;
        if (nResumeFrom > 0 && nStatus == 206)
        {
            std::string strRange;
            pRequest->QueryHeader("Content-Range", strRange);
            if (ContentRangeStart(strRange) == nResumeFrom && nTotal <= INT64_MAX - nResumeFrom)
            {
                bAppend = true;
                strName = strResumeName; // the file being continued
            }
            else
                fail("the server sent another part than the one asked for");
        }
        else if (nStatus == 206)
            fail("the server sent a part that was not asked for");
        std::string strValidator = nStatus == 200 ? ResumeValidator(*pRequest) : strResumeValidator;
        if (!bOk)
            strValidator.clear(); // the next attempt starts from the first byte

        PostStatusLine(profile, pRequest->GetRawHeaders());
        if (!bOk)
            PostStatusLine(profile, "Download failed!");

        std::string strFolder;
        {
            std::lock_guard lock(pArticle->m_lock);
            if (!pArticle->m_strDownloadPath.empty() && pArticle->m_strDownloadPath.back() != '/')
                pArticle->m_strDownloadPath += '/';
            strFolder = pArticle->m_strDownloadPath;
        }
        // Without a folder the name alone would land in the root folder.
        if (bOk && strFolder.empty())
            fail("no download folder");
        struct stat stOpened
        {
        };
        if (bOk)
        {
            int nOpenError = 0;
            std::string strChosen;
            fd = OpenTargetFile(strFolder, strName, own, bAppend, strChosen, nOpenError);
            if (fd >= 0)
            {
                strName = strChosen;
                strClaimed = strFolder + strName;
            }
            if (fd < 0)
                fail("cannot create file " + strFolder + strName + ": " + SystemReason(nOpenError));
            else if (::fstat(fd, &stOpened) != 0)
                fail("cannot create file " + strClaimed + ": " + SystemReason(errno));
        }
        {
            std::lock_guard lock(pArticle->m_lock);
            pArticle->m_strSavedName = strName;
            CArticleTransfer& transfer = pArticle->Transfer();
            transfer.m_strResumeValidator = strValidator;
            if (!strClaimed.empty())
            {
                transfer.m_strOwnFile = strClaimed;
                transfer.m_nOwnFileDev = static_cast<uint64_t>(stOpened.st_dev);
                transfer.m_nOwnFileIno = static_cast<uint64_t>(stOpened.st_ino);
                transfer.m_bWroteOwnFile = true;
            }
        }

        const bool bProgress = !CDownloadOptions::IsProgressDisabled();
        const int64_t nStart = NowSeconds();
        int64_t nReceived = 0;
        int64_t nRemaining = nTotal;
        int32_t nLastSpeed = 0;
        {
            std::lock_guard lock(pArticle->m_lock);
            pArticle->Transfer().m_nReceived = nResumeFrom;
            // A size the stored field cannot hold is known exactly from now on.
            if (bOk && pArticle->m_nSize == INT32_MAX && nResumeFrom + nTotal > INT32_MAX)
                pArticle->Transfer().m_nFullSize = nResumeFrom + nTotal;
        }
        nEnd = EndNormal;
        // A block's bytes go to the file as they arrive, straight from the
        // receive buffer; the stop test and the progress report come once
        // per block, as before.
        int nWriteError = 0;
        int64_t nBlockRoom = 0;
        bool bTooLong = false;
        CHttpRequest::BodyConsumer write = [&](const char* pData, size_t nLen)
        {
            // More than announced cannot be this article.
            if (static_cast<int64_t>(nLen) > nBlockRoom)
            {
                bTooLong = true;
                return false;
            }
            if (!WriteAll(fd, pData, nLen))
            {
                nWriteError = errno;
                return false;
            }
            nBlockRoom -= static_cast<int64_t>(nLen);
            return true;
        };
        bool bReachedEnd = false;
        auto shortBody = [&]
        {
            return "the body ended after " + std::to_string(nResumeFrom + nReceived) + " of " +
                   std::to_string(nResumeFrom + nTotal) + " bytes";
        };
        while (bOk)
        {
            if (!pRunEvent->IsSet())
            {
                fail("the download was stopped");
                break;
            }
            nBlockRoom = nRemaining;
            int64_t n = pRequest->ReadBlockTo(write, kBlockSize);
            if (nWriteError != 0)
            {
                if (nWriteError == ENOSPC || nWriteError == EDQUOT)
                {
                    // The view starts its clean-ups before the user reads this.
                    Post(pView, WM_DISK_FULL, 0, nullptr);
                    if (pView)
                        pView->MessageBox(kDiskFull);
                }
                fail("cannot write file " + strClaimed + ": " + SystemReason(nWriteError));
                nEnd = EndNoAverage;
                break;
            }
            if (n < 0)
            {
                // The connection failed: no average line.
                fail(pRequest->EndedEarly() ? shortBody() : pRequest->DescribeFailure());
                nEnd = EndNoAverage;
                break;
            }
            if (bTooLong)
            {
                fail("the body is longer than its Content-Length");
                break;
            }
            nReceived += n;
            nRemaining -= n;
            {
                // Every block, also in the first second, which has no speed yet.
                std::lock_guard lock(pArticle->m_lock);
                pArticle->Transfer().m_nReceived = nResumeFrom + nReceived;
            }
            if (bProgress)
            {
                std::string strTimeLeft;
                if (CTransferProgress::Step(nReceived, nRemaining, NowSeconds() - nStart, n, nLastSpeed,
                                            strTimeLeft))
                {
                    {
                        std::lock_guard lock(pArticle->m_lock);
                        CArticleTransfer& transfer = pArticle->Transfer();
                        transfer.m_strTimeLeft = strTimeLeft;
                        transfer.m_fSpeed = static_cast<float>(nLastSpeed);
                    }
                    Post(pView, WM_STATUS_TEXT, 1, pArticle);
                }
            }
            if (n == 0)
            {
                bReachedEnd = true;
                break;
            }
        }
        if ((bOk || bReachedEnd) && fd >= 0 && nRemaining != 0)
            fail(shortBody());
        if (bOk || bReachedEnd)
            bOk = nRemaining == 0 && fd >= 0;
        if (bOk && bAppend)
        {
            // The whole file, continued part and all, must have the size.
            struct stat st
            {
            };
            if (::fstat(fd, &st) != 0 || st.st_size != nResumeFrom + nTotal)
                fail("the continued file does not have the article's size");
        }
        if (nEnd == EndNormal)
        {
            char szText[96];
            std::snprintf(szText, sizeof(szText), "Download complete. Average: %dkB/s\r\n",
                          CTransferProgress::AverageSpeed(nTotal, NowSeconds() - nStart));
            PostStatusLine(profile, szText);
        }
    }

    // Closing: the request, the connection, the file.
    if (pRequest)
        pRequest->Close();
    pRequest.reset();
    pConnection.reset();
    if (fd >= 0 && ::close(fd) != 0)
        fail("cannot write file " + strClaimed + ": " + SystemReason(errno));
    if (!strClaimed.empty())
        CFileClaims::Release(strClaimed);

    // The end report.
    bool bShutdown = false;
    std::string strArticleName;
    if (!bOk && strReason.empty())
        strReason = "the download failed";
    {
        std::lock_guard lock(pArticle->m_lock);
        pRunEvent->Reset();
        bShutdown = pArticle->m_nState == StateShutdown;
        pArticle->Transfer().m_strLastError = bOk ? std::string() : strReason;
        strArticleName = !pArticle->m_strSavedName.empty() ? pArticle->m_strSavedName
                         : !strListedName.empty()          ? strListedName
                                                           : pArticle->m_strSubject;
    }
    // The cause goes to the status window at once, ahead of the end report.
    if (!bOk && !bShutdown)
        PostStatusLine(profile, "Download of \"" + strArticleName + "\" failed: " + strReason);
    {
        std::lock_guard lock(pAccount->m_lock);
        --pAccount->m_nRunning;
    }
    if (!bShutdown)
    {
        if (!bOk)
            std::this_thread::sleep_for(std::chrono::milliseconds(CDownloadOptions::GetFailureWaitMs()));
        Post(pView, WM_DOWNLOAD_DONE, bOk ? 1 : 0, pArticle);
    }
    // StateShutdown: the program is closing and left the article to this
    // worker; letting go of it here frees it.
    pArticle.reset();
    pSession.reset();
    return 0;
}
