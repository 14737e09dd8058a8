#pragma once

// Checks a multipart file as a whole: its parts must cover 1..size without
// gap or overlap, and the CRC of their joined bytes (worked out from the
// parts' own CRCs, so no part needs to be kept) must match "crc32=".

#include "yenc/YencDecoder.h"

#include <cstdint>
#include <map>

namespace usenet
{

class CYencFileCheck
{
public:
    // A part that decoded well; parts may come in any order.
    void AddPart(const CYencDecoder& decoder);
    void AddPart(uint64_t nBegin, uint64_t nSize, uint32_t nCrc);
    void SetFile(uint64_t nSize, bool bCrc, uint32_t nCrc);

    // yrOk, yrSizeMismatch (parts missing or overlapping) or yrFileCrc.
    EYencResult Finish() const;

private:
    struct SPart
    {
        uint64_t m_nSize;
        uint32_t m_nCrc;
    };
    std::map<uint64_t, SPart> m_mapParts; // by first byte, 1-based
    uint64_t m_nFileSize = 0;
    bool m_bFileCrc = false;
    uint32_t m_nFileCrc = 0;
};

} // namespace usenet
