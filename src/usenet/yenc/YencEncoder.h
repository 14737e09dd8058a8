#pragma once

// yEnc encoder, for tests and the gateway simulator: writes a single-part
// post, or one part of a multipart post, as an encoder following 1.3 would.

#include <cstdint>
#include <string>
#include <string_view>

namespace usenet
{

struct SYencEncodeOptions
{
    std::string m_strName = "file.bin";
    int m_nLine = 128;
    // A part of a multipart post (m_nPart > 0): where the data sits in the file.
    int m_nPart = 0;
    int m_nTotal = 0; // 0 leaves total= out
    uint64_t m_nBegin = 1;
    uint64_t m_nFileSize = 0;
    bool m_bFileCrc = false; // write the whole file's crc32= on this part
    uint32_t m_nFileCrc = 0;
    std::string m_strEol = "\r\n";
};

// The data lines alone.
std::string YencEncodeData(std::string_view data, int nLine = 128, std::string_view strEol = "\r\n");

// The whole post: =ybegin, =ypart, data, =yend.
std::string YencEncode(std::string_view data, const SYencEncodeOptions& options = {});

} // namespace usenet
