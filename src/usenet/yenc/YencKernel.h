#pragma once

// The inner loop of the yEnc decoder: turns body bytes into file bytes.
// Several implementations of the same contract; the best one the processor
// supports is chosen once at run time.

#include <cstddef>
#include <cstdint>

namespace usenet
{

enum EYencKernel
{
    ykPlain,
    ykSsse3,
    ykAvx2,
};

// What a kernel carries from one call to the next, so an escape or a line
// start may be split across input buffers.
struct SYencKernelState
{
    bool m_bLineStart = true;     // the next byte begins a line
    bool m_bEscape = false;       // an "=" was read, its byte is still to come
    bool m_bEscLineStart = false; // that "=" began a line (it may open a keyword)
};

// Decodes from pIn (nIn bytes) into pOut (nOutCap bytes): CR and LF are
// dropped, escapes undone. Stops at the end of the input, when the output is
// full, or at a keyword line ("=y" at the start of a line): then *pbKeyword
// is set and the input stops right after that "=". Never writes past
// pOut + nOutCap. Returns the bytes written; *pnConsumed the bytes read.
using YencKernelFn = size_t (*)(const uint8_t* pIn, size_t nIn, uint8_t* pOut, size_t nOutCap,
                                SYencKernelState& state, size_t* pnConsumed, bool* pbKeyword);

bool YencKernelSupported(EYencKernel nKernel);
EYencKernel YencBestKernel();
YencKernelFn YencGetKernel(EYencKernel nKernel);
const char* YencKernelName(EYencKernel nKernel);

} // namespace usenet
