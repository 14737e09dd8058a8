// NNTP replies: a status line's code and text, and the multi-line block's
// dot-stuffing. Whatever content is stuffed, sent in any chunks and read
// back comes out as it went in, and the reader stops at the terminator.
// Input: a chunk size byte, then the text.

#include "FuzzHarness.h"

#include "nntp/NntpReply.h"

using namespace usenet;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize)
{
    fuzzharness::CInput input(fuzzharness::View(pData, nSize));
    const size_t nChunk = input.Byte() % 61 + 1;
    const std::string_view text = input.Rest();

    SNntpReplyLine reply;
    if (ParseNntpReplyLine(text, reply))
    {
        FUZZ_CHECK(reply.m_nCode >= 0 && reply.m_nCode <= 999);
        FUZZ_CHECK(reply.m_strText.empty() || (reply.m_strText.front() != ' ' && reply.m_strText.back() != ' '));
    }

    // The block as a server sends it: dot-stuffed, the last line ended,
    // then ".", then whatever comes next.
    std::string strContent(text);
    if (!strContent.empty() && strContent.back() != '\n')
        strContent += "\r\n";
    std::string strWire;
    bool bLineStart = true;
    for (char c : strContent)
    {
        if (bLineStart && c == '.')
            strWire += '.';
        strWire += c;
        bLineStart = c == '\n';
    }
    const size_t nBlock = strWire.size() + 3;
    strWire += ".\r\n223 next\r\n";

    CDotUnstuffer unstuffer;
    std::string strOut;
    size_t nPos = 0;
    while (nPos < strWire.size() && !unstuffer.IsDone())
    {
        const size_t nIn = std::min(nChunk, strWire.size() - nPos);
        const size_t nUsed = unstuffer.Feed(strWire.data() + nPos, nIn, strOut);
        FUZZ_CHECK(nUsed <= nIn && (nUsed == nIn || unstuffer.IsDone()));
        nPos += nUsed;
    }
    FUZZ_CHECK(unstuffer.IsDone());
    FUZZ_CHECK(nPos == nBlock);
    FUZZ_CHECK(strOut == strContent);
    return 0;
}
