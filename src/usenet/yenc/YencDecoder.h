#pragma once

// Streaming yEnc decoder for one article body (yEnc 1.3): skips text up to
// "=ybegin", reads "=ypart", decodes the data and checks "=yend" against
// what it decoded. It may be fed any chunks; escapes and keyword lines may
// be split between them. The input is the body as read, dot-stuffing undone.

#include "yenc/YencKernel.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace usenet
{

enum EYencResult
{
    yrOk,
    yrNoBegin,      // no "=ybegin" line
    yrNoEnd,        // the data ended before "=yend"
    yrSizeMismatch, // decoded bytes differ from "=yend size=" (or the part's range)
    yrPartCrc,      // pcrc32 differs
    yrFileCrc,      // crc32 of a single-part post differs
};

struct SYencInfo
{
    // =ybegin
    std::string m_strName;
    uint64_t m_nFileSize = 0;
    int m_nLine = 0;
    int m_nPart = 0;  // 0: a single-part post
    int m_nTotal = 0; // 0: not given
    // =ypart (1-based, inclusive); zero when absent
    uint64_t m_nBegin = 0;
    uint64_t m_nEnd = 0;
    // =yend
    bool m_bEndSize = false;
    uint64_t m_nEndSize = 0;
    bool m_bPartCrc = false;
    uint32_t m_nPartCrc = 0;
    bool m_bFileCrc = false;
    uint32_t m_nFileCrc = 0;
};

class CYencDecoder
{
public:
    enum EState
    {
        stSearch, // before =ybegin
        stData,
        stKeyword, // inside a "=y" line that began in the data
        stDone,    // after =yend: the rest is ignored
    };

    explicit CYencDecoder(EYencKernel nKernel = YencBestKernel());

    void Reset();

    // Decodes as much of pIn as fits into pOut; never writes past
    // pOut + nOutCap. An output at least as large as the input takes it all.
    // Returns the bytes written; *pnConsumed the input bytes used.
    size_t Decode(const char* pIn, size_t nIn, char* pOut, size_t nOutCap, size_t* pnConsumed);

    // Convenience: decodes all of strIn and appends to strOut.
    void Feed(std::string_view strIn, std::string& strOut);

    // The verdict once the body has been fed.
    EYencResult Finish() const;
    static const char* ResultText(EYencResult nResult);

    EState GetState() const { return m_nState; }
    const SYencInfo& GetInfo() const { return m_info; }
    uint64_t GetDecodedSize() const { return m_nDecoded; }
    uint32_t GetCrc() const { return m_nCrc; } // of the bytes decoded so far

private:
    void OnLine(std::string_view strLine);
    void AppendLine(const char* p, size_t n);

    YencKernelFn m_fnKernel;
    EState m_nState = stSearch;
    SYencKernelState m_kernel;
    SYencInfo m_info;
    std::string m_strLine; // a keyword or text line being gathered
    bool m_bSawBegin = false;
    bool m_bSawEnd = false;
    uint64_t m_nDecoded = 0;
    uint32_t m_nCrc = 0;
};

} // namespace usenet
