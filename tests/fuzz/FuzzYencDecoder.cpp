// The yEnc decoder: fed in any chunks into an output of any size, every
// kernel decodes exactly what one call over the whole body does, never
// writes past the output it was given, and always makes progress. What the
// encoder writes decodes to the same bytes.
// Input: a chunk size byte, an output size byte, the body.

#include "FuzzHarness.h"

#include "yenc/YencDecoder.h"
#include "yenc/YencEncoder.h"

#include <memory>

using namespace usenet;

namespace
{
bool SameInfo(const SYencInfo& a, const SYencInfo& b)
{
    return a.m_strName == b.m_strName && a.m_nFileSize == b.m_nFileSize && a.m_nLine == b.m_nLine &&
           a.m_nPart == b.m_nPart && a.m_nTotal == b.m_nTotal && a.m_nBegin == b.m_nBegin && a.m_nEnd == b.m_nEnd &&
           a.m_bEndSize == b.m_bEndSize && a.m_nEndSize == b.m_nEndSize && a.m_bPartCrc == b.m_bPartCrc &&
           a.m_nPartCrc == b.m_nPartCrc && a.m_bFileCrc == b.m_bFileCrc && a.m_nFileCrc == b.m_nFileCrc;
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize)
{
    fuzzharness::CInput input(fuzzharness::View(pData, nSize));
    const size_t nChunk = input.Byte() % 97 + 1;
    const size_t nOutCap = input.Byte() % 41 + 1;
    const std::string_view body = input.Rest();

    CYencDecoder whole(ykPlain);
    std::string strWhole;
    whole.Feed(body, strWhole);
    FUZZ_CHECK(whole.GetDecodedSize() == strWhole.size());

    for (EYencKernel nKernel : {ykPlain, ykSsse3, ykAvx2})
    {
        if (!YencKernelSupported(nKernel))
            continue;
        CYencDecoder decoder(nKernel);
        std::string strOut;
        // Exactly nOutCap bytes, so a write past them is a heap overflow.
        std::unique_ptr<char[]> pOut(new char[nOutCap]);
        for (size_t nPos = 0; nPos < body.size();)
        {
            const size_t nIn = std::min(nChunk, body.size() - nPos);
            size_t nUsed = 0;
            const size_t nOut = decoder.Decode(body.data() + nPos, nIn, pOut.get(), nOutCap, &nUsed);
            FUZZ_CHECK(nOut <= nOutCap && nUsed <= nIn);
            FUZZ_CHECK(nOut > 0 || nUsed > 0);
            strOut.append(pOut.get(), nOut);
            nPos += nUsed;
        }
        FUZZ_CHECK(strOut == strWhole);
        FUZZ_CHECK(decoder.Finish() == whole.Finish());
        FUZZ_CHECK(decoder.GetCrc() == whole.GetCrc());
        FUZZ_CHECK(decoder.GetState() == whole.GetState());
        FUZZ_CHECK(SameInfo(decoder.GetInfo(), whole.GetInfo()));
    }

    SYencEncodeOptions options;
    options.m_nLine = static_cast<int>(nChunk);
    options.m_strEol = nOutCap % 2 ? "\r\n" : "\n";
    const std::string strPost = YencEncode(body, options);
    CYencDecoder decoder;
    std::string strDecoded;
    decoder.Feed(strPost, strDecoded);
    FUZZ_CHECK(strDecoded == body);
    FUZZ_CHECK(decoder.Finish() == yrOk);
    return 0;
}
