#include "yenc/YencKernel.h"

#include <array>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define DRAVELIN_YENC_X86 1
#endif

namespace usenet
{
namespace
{

// Decodes in[i, iEnd) one byte at a time; the reference for every other
// kernel. Returns true when it stopped at a keyword line.
inline bool ScalarRun(const uint8_t* in, size_t& i, size_t iEnd, uint8_t* out, size_t& o, size_t nCap,
                      SYencKernelState& st, bool& bFull)
{
    while (i < iEnd)
    {
        const uint8_t c = in[i];
        if (st.m_bEscape)
        {
            if (c == '\n')
            {
                // An escape split across lines: its byte is on the next one.
                st.m_bLineStart = true;
                st.m_bEscLineStart = false;
                ++i;
                continue;
            }
            if (c == '\r')
            {
                ++i;
                continue;
            }
            if (c == '=')
            {
                // A dangling "=": it escapes nothing, this one starts afresh.
                st.m_bEscLineStart = st.m_bLineStart;
                st.m_bLineStart = false;
                ++i;
                continue;
            }
            if (c == 'y' && st.m_bEscLineStart)
            {
                st.m_bEscape = false;
                st.m_bEscLineStart = false;
                return true;
            }
            if (o == nCap)
            {
                bFull = true;
                return false;
            }
            out[o++] = static_cast<uint8_t>(c - 106);
            st.m_bEscape = false;
            st.m_bLineStart = false;
            ++i;
            continue;
        }
        if (c == '\n')
        {
            st.m_bLineStart = true;
            ++i;
            continue;
        }
        if (c == '\r')
        {
            ++i;
            continue;
        }
        if (c == '=')
        {
            st.m_bEscape = true;
            st.m_bEscLineStart = st.m_bLineStart;
            st.m_bLineStart = false;
            ++i;
            continue;
        }
        if (o == nCap)
        {
            bFull = true;
            return false;
        }
        out[o++] = static_cast<uint8_t>(c - 42);
        st.m_bLineStart = false;
        ++i;
    }
    return false;
}

size_t DecodePlain(const uint8_t* pIn, size_t nIn, uint8_t* pOut, size_t nOutCap, SYencKernelState& st,
                   size_t* pnConsumed, bool* pbKeyword)
{
    size_t i = 0, o = 0;
    bool bFull = false;
    *pbKeyword = ScalarRun(pIn, i, nIn, pOut, o, nOutCap, st, bFull);
    *pnConsumed = i;
    return o;
}

#ifdef DRAVELIN_YENC_X86

// For each 8-bit mask of bytes to drop: the pshufb indices of the bytes kept,
// in order; unused slots select zero.
constexpr std::array<uint64_t, 256> MakeCompactTable()
{
    std::array<uint64_t, 256> tbl{};
    for (unsigned m = 0; m < 256; ++m)
    {
        uint64_t v = 0x8080808080808080ull;
        unsigned k = 0;
        for (unsigned j = 0; j < 8; ++j)
            if (!(m & (1u << j)))
            {
                v &= ~(0xffull << (8 * k));
                v |= static_cast<uint64_t>(j) << (8 * k);
                ++k;
            }
        tbl[m] = v;
    }
    return tbl;
}
constexpr std::array<uint64_t, 256> g_compact = MakeCompactTable();

// Whether the byte before bit k of a block begins a line, given the masks of
// CR and LF in the block (CR never changes it, as in ScalarRun).
inline bool LineStartBefore(unsigned k, uint32_t mCr, uint32_t mLf, bool bIncoming)
{
    const uint32_t mBelow = k >= 32 ? 0xffffffffu : ((1u << k) - 1);
    const uint32_t m = ~mCr & mBelow;
    if (!m)
        return bIncoming;
    return (mLf >> (31 - __builtin_clz(m))) & 1;
}

// Compacts one 16-byte lane, dropping the bytes whose bit is set in mDrop.
// Writes 16 bytes at most from pOut; returns the bytes kept.
__attribute__((target("ssse3,popcnt"))) inline size_t CompactLane(__m128i lane, uint32_t mDrop, uint8_t* pOut)
{
    const uint32_t m0 = mDrop & 0xff, m1 = (mDrop >> 8) & 0xff;
    const __m128i ctrl = _mm_set_epi64x(static_cast<long long>(g_compact[m1] | 0x0808080808080808ull),
                                        static_cast<long long>(g_compact[m0]));
    const __m128i r = _mm_shuffle_epi8(lane, ctrl);
    const size_t n0 = 8 - static_cast<size_t>(__builtin_popcount(m0));
    _mm_storel_epi64(reinterpret_cast<__m128i*>(pOut), r);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(pOut + n0), _mm_unpackhi_epi64(r, r));
    return n0 + 8 - static_cast<size_t>(__builtin_popcount(m1));
}

// A block goes the vector way unless an escape meets a CR, LF, "=" or a
// keyword's "y"; such blocks (rare in real posts) go to ScalarRun. A macro
// rather than a template, so the block function inlines under its own
// target attribute.
#define DRAVELIN_YENC_BLOCK_LOOP(kBlock, fnBlock)                                                            \
    size_t i = 0, o = 0;                                                                                     \
    bool bFull = false;                                                                                      \
    *pbKeyword = false;                                                                                      \
    while (i < nIn)                                                                                          \
    {                                                                                                        \
        size_t iEnd = nIn;                                                                                   \
        if (st.m_bEscape)                                                                                    \
            iEnd = i + 1;                                                                                    \
        else if (nIn - i >= (kBlock) && nOutCap - o >= (kBlock))                                             \
        {                                                                                                    \
            if (fnBlock(pIn + i, pOut, o, st))                                                               \
            {                                                                                                \
                i += (kBlock);                                                                               \
                continue;                                                                                    \
            }                                                                                                \
            iEnd = i + (kBlock);                                                                             \
        }                                                                                                    \
        if (ScalarRun(pIn, i, iEnd, pOut, o, nOutCap, st, bFull))                                            \
        {                                                                                                    \
            *pbKeyword = true;                                                                               \
            break;                                                                                           \
        }                                                                                                    \
        if (bFull)                                                                                           \
            break;                                                                                           \
    }                                                                                                        \
    *pnConsumed = i;                                                                                         \
    return o

// Finishes a block whose decoded bytes are in place: the escape carried
// into the next block and the line state.
inline void EndBlock(unsigned nBits, uint32_t mEq, uint32_t mCr, uint32_t mLf, SYencKernelState& st)
{
    if (mEq >> (nBits - 1))
    {
        st.m_bEscape = true;
        st.m_bEscLineStart = LineStartBefore(nBits - 1, mCr, mLf, st.m_bLineStart);
        st.m_bLineStart = false;
    }
    else
        st.m_bLineStart = LineStartBefore(nBits, mCr, mLf, st.m_bLineStart);
}

__attribute__((target("ssse3,popcnt"), always_inline)) inline bool Ssse3Block(const uint8_t* p, uint8_t* out,
                                                                              size_t& o, SYencKernelState& s)
{
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    const __m128i eq = _mm_cmpeq_epi8(v, _mm_set1_epi8('='));
    const uint32_t mEq = static_cast<uint32_t>(_mm_movemask_epi8(eq));
    const uint32_t mCr = static_cast<uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, _mm_set1_epi8('\r'))));
    const uint32_t mLf = static_cast<uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, _mm_set1_epi8('\n'))));
    const uint32_t mDrop = mEq | mCr | mLf;
    __m128i d = _mm_sub_epi8(v, _mm_set1_epi8(42));
    if (!mDrop)
    {
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + o), d);
        o += 16;
        s.m_bLineStart = false;
        return true;
    }
    const uint32_t mEsc = (mEq << 1) & 0xffff;
    const uint32_t mY = static_cast<uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, _mm_set1_epi8('y'))));
    if (mEsc & (mDrop | mY))
        return false;
    d = _mm_sub_epi8(d, _mm_and_si128(_mm_slli_si128(eq, 1), _mm_set1_epi8(64)));
    o += CompactLane(d, mDrop, out + o);
    EndBlock(16, mEq, mCr, mLf, s);
    return true;
}

__attribute__((target("ssse3,popcnt"))) size_t DecodeSsse3(const uint8_t* pIn, size_t nIn, uint8_t* pOut,
                                                           size_t nOutCap, SYencKernelState& st,
                                                           size_t* pnConsumed, bool* pbKeyword)
{
    DRAVELIN_YENC_BLOCK_LOOP(16, Ssse3Block);
}

__attribute__((target("avx2,popcnt"), always_inline)) inline bool Avx2Block(const uint8_t* p, uint8_t* out,
                                                                            size_t& o, SYencKernelState& s)
{
    const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
    const __m256i eq = _mm256_cmpeq_epi8(v, _mm256_set1_epi8('='));
    const uint32_t mEq = static_cast<uint32_t>(_mm256_movemask_epi8(eq));
    const uint32_t mCr =
        static_cast<uint32_t>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(v, _mm256_set1_epi8('\r'))));
    const uint32_t mLf =
        static_cast<uint32_t>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(v, _mm256_set1_epi8('\n'))));
    const uint32_t mDrop = mEq | mCr | mLf;
    __m256i d = _mm256_sub_epi8(v, _mm256_set1_epi8(42));
    const uint32_t mEsc = mEq << 1;
    const uint32_t mY =
        static_cast<uint32_t>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(v, _mm256_set1_epi8('y'))));
    if (mEsc & (mDrop | mY))
        return false;
    // The "=" mask moved up one byte, across the lane boundary too.
    const __m256i eqPrev = _mm256_alignr_epi8(eq, _mm256_permute2x128_si256(eq, eq, 0x08), 15);
    d = _mm256_sub_epi8(d, _mm256_and_si256(eqPrev, _mm256_set1_epi8(64)));
    o += CompactLane(_mm256_castsi256_si128(d), mDrop & 0xffff, out + o);
    o += CompactLane(_mm256_extracti128_si256(d, 1), mDrop >> 16, out + o);
    EndBlock(32, mEq, mCr, mLf, s);
    return true;
}

__attribute__((target("avx2,popcnt"))) size_t DecodeAvx2(const uint8_t* pIn, size_t nIn, uint8_t* pOut,
                                                         size_t nOutCap, SYencKernelState& st,
                                                         size_t* pnConsumed, bool* pbKeyword)
{
    DRAVELIN_YENC_BLOCK_LOOP(32, Avx2Block);
}

#endif

} // namespace

bool YencKernelSupported(EYencKernel nKernel)
{
#ifdef DRAVELIN_YENC_X86
    __builtin_cpu_init();
    switch (nKernel)
    {
    case ykPlain:
        return true;
    case ykSsse3:
        return __builtin_cpu_supports("ssse3") && __builtin_cpu_supports("popcnt");
    case ykAvx2:
        return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("popcnt");
    }
    return false;
#else
    return nKernel == ykPlain;
#endif
}

EYencKernel YencBestKernel()
{
    static const EYencKernel s_nBest = YencKernelSupported(ykAvx2)    ? ykAvx2
                                       : YencKernelSupported(ykSsse3) ? ykSsse3
                                                                      : ykPlain;
    return s_nBest;
}

YencKernelFn YencGetKernel(EYencKernel nKernel)
{
    if (!YencKernelSupported(nKernel))
        nKernel = ykPlain;
#ifdef DRAVELIN_YENC_X86
    if (nKernel == ykAvx2)
        return DecodeAvx2;
    if (nKernel == ykSsse3)
        return DecodeSsse3;
#endif
    return DecodePlain;
}

const char* YencKernelName(EYencKernel nKernel)
{
    switch (nKernel)
    {
    case ykAvx2:
        return "avx2";
    case ykSsse3:
        return "ssse3";
    default:
        return "plain";
    }
}

} // namespace usenet
