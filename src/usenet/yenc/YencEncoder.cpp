#include "yenc/YencEncoder.h"

#include <zlib.h>

#include <cstdio>

namespace usenet
{

std::string YencEncodeData(std::string_view data, int nLine, std::string_view strEol)
{
    std::string out;
    out.reserve(data.size() + data.size() / 32 + 64);
    const size_t nMax = nLine > 0 ? static_cast<size_t>(nLine) : 128;
    size_t nCol = 0;
    for (size_t i = 0; i < data.size(); ++i)
    {
        const auto e = static_cast<uint8_t>(static_cast<uint8_t>(data[i]) + 42);
        const bool bStart = nCol == 0;
        const bool bEnd = nCol + 1 >= nMax || i + 1 == data.size();
        if (e == 0 || e == '\n' || e == '\r' || e == '=' || ((e == '\t' || e == ' ') && (bStart || bEnd)) ||
            (e == '.' && bStart))
        {
            out += '=';
            out += static_cast<char>(e + 64);
            nCol += 2;
        }
        else
        {
            out += static_cast<char>(e);
            ++nCol;
        }
        if (nCol >= nMax)
        {
            out += strEol;
            nCol = 0;
        }
    }
    if (nCol)
        out += strEol;
    return out;
}

std::string YencEncode(std::string_view data, const SYencEncodeOptions& o)
{
    const auto nCrc =
        static_cast<uint32_t>(crc32_z(0, reinterpret_cast<const Bytef*>(data.data()), data.size()));
    char sz[160];
    std::string out;
    if (o.m_nPart > 0)
    {
        out = "=ybegin part=" + std::to_string(o.m_nPart);
        if (o.m_nTotal > 0)
            out += " total=" + std::to_string(o.m_nTotal);
        out += " line=" + std::to_string(o.m_nLine) + " size=" + std::to_string(o.m_nFileSize) +
               " name=" + o.m_strName + o.m_strEol;
        out += "=ypart begin=" + std::to_string(o.m_nBegin) +
               " end=" + std::to_string(o.m_nBegin + data.size() - 1) + o.m_strEol;
    }
    else
        out = "=ybegin line=" + std::to_string(o.m_nLine) + " size=" + std::to_string(data.size()) +
              " name=" + o.m_strName + o.m_strEol;
    out += YencEncodeData(data, o.m_nLine, o.m_strEol);
    if (o.m_nPart > 0)
    {
        std::snprintf(sz, sizeof sz, "=yend size=%zu part=%d pcrc32=%08x", data.size(), o.m_nPart, nCrc);
        out += sz;
        if (o.m_bFileCrc)
        {
            std::snprintf(sz, sizeof sz, " crc32=%08x", o.m_nFileCrc);
            out += sz;
        }
    }
    else
    {
        std::snprintf(sz, sizeof sz, "=yend size=%zu crc32=%08x", data.size(), nCrc);
        out += sz;
    }
    return out + o.m_strEol;
}

} // namespace usenet
