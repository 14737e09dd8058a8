#include "yenc/YencFileCheck.h"

#include <zlib.h>

namespace usenet
{

void CYencFileCheck::AddPart(const CYencDecoder& decoder)
{
    const SYencInfo& info = decoder.GetInfo();
    AddPart(info.m_nBegin ? info.m_nBegin : 1, decoder.GetDecodedSize(), decoder.GetCrc());
    // The whole-file crc32 is often on the last part only.
    if (info.m_bFileCrc || !m_nFileSize)
        SetFile(info.m_nFileSize, info.m_bFileCrc || m_bFileCrc,
                info.m_bFileCrc ? info.m_nFileCrc : m_nFileCrc);
}

void CYencFileCheck::AddPart(uint64_t nBegin, uint64_t nSize, uint32_t nCrc)
{
    m_mapParts[nBegin] = {nSize, nCrc};
}

void CYencFileCheck::SetFile(uint64_t nSize, bool bCrc, uint32_t nCrc)
{
    m_nFileSize = nSize;
    m_bFileCrc = bCrc;
    m_nFileCrc = nCrc;
}

EYencResult CYencFileCheck::Finish() const
{
    uint64_t nNext = 1;
    uLong nCrc = 0;
    for (const auto& [nBegin, part] : m_mapParts)
    {
        if (nBegin != nNext)
            return yrSizeMismatch;
        nCrc = crc32_combine(nCrc, part.m_nCrc, static_cast<z_off_t>(part.m_nSize));
        nNext += part.m_nSize;
    }
    if (nNext != m_nFileSize + 1)
        return yrSizeMismatch;
    if (m_bFileCrc && nCrc != m_nFileCrc)
        return yrFileCrc;
    return yrOk;
}

} // namespace usenet
