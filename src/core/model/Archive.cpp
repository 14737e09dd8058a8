#include "model/Archive.h"

#include <cstring>

CArchive::CArchive() : m_nMode(store) {}

CArchive::CArchive(std::string_view data) : m_nMode(load), m_data(data) {}

void CArchive::WriteUInt16(uint16_t nValue)
{
    m_strBuffer.push_back(static_cast<char>(nValue & 0xFF));
    m_strBuffer.push_back(static_cast<char>((nValue >> 8) & 0xFF));
}

void CArchive::WriteInt32(int32_t nValue)
{
    uint32_t n = static_cast<uint32_t>(nValue);
    for (int i = 0; i < 4; ++i)
        m_strBuffer.push_back(static_cast<char>((n >> (8 * i)) & 0xFF));
}

void CArchive::WriteString(const std::string& str)
{
    size_t nLength = str.size();
    if (nLength < 0xFF)
    {
        m_strBuffer.push_back(static_cast<char>(nLength));
    }
    else if (nLength < 0xFFFE)
    {
        m_strBuffer.push_back(static_cast<char>(0xFF));
        WriteUInt16(static_cast<uint16_t>(nLength));
    }
    else
    {
        if (nLength > 0xFFFFFFFEu)
            throw CArchiveException("string too long for the archive format");
        m_strBuffer.push_back(static_cast<char>(0xFF));
        WriteUInt16(0xFFFF);
        WriteInt32(static_cast<int32_t>(static_cast<uint32_t>(nLength)));
    }
    m_strBuffer.append(str);
}

void CArchive::WriteObject(const CArticle& article)
{
    if (!m_bClassWritten)
    {
        WriteUInt16(kNewClassTag);
        WriteUInt16(kSchema);
        WriteUInt16(static_cast<uint16_t>(std::strlen(kClassName)));
        m_strBuffer.append(kClassName);
        m_bClassWritten = true;
    }
    else
    {
        // Class index 1: the only class this archive ever registers.
        WriteUInt16(kClassTag | 1);
    }
    // Serialize only reads the fields when storing.
    const_cast<CArticle&>(article).Serialize(*this);
}

void CArchive::Need(size_t nBytes, const char* pszWhat) const
{
    if (GetRemaining() < nBytes)
        throw CArchiveException(std::string("unexpected end of data in ") + pszWhat + " at offset " +
                                std::to_string(m_nPos));
}

uint16_t CArchive::ReadUInt16()
{
    Need(2, "a 16-bit value");
    auto b0 = static_cast<uint8_t>(m_data[m_nPos]);
    auto b1 = static_cast<uint8_t>(m_data[m_nPos + 1]);
    m_nPos += 2;
    return static_cast<uint16_t>(b0 | (b1 << 8));
}

uint32_t CArchive::ReadUInt32()
{
    Need(4, "a 32-bit value");
    uint32_t n = 0;
    for (int i = 0; i < 4; ++i)
        n |= static_cast<uint32_t>(static_cast<uint8_t>(m_data[m_nPos + static_cast<size_t>(i)])) << (8 * i);
    m_nPos += 4;
    return n;
}

int32_t CArchive::ReadInt32()
{
    return static_cast<int32_t>(ReadUInt32());
}

std::string CArchive::ReadString()
{
    Need(1, "a string length");
    uint64_t nLength = static_cast<uint8_t>(m_data[m_nPos]);
    ++m_nPos;
    if (nLength == 0xFF)
    {
        nLength = ReadUInt16();
        if (nLength == 0xFFFE)
            throw CArchiveException("wide strings are not supported (offset " + std::to_string(m_nPos) + ")");
        if (nLength == 0xFFFF)
            nLength = ReadUInt32();
    }
    if (nLength > GetRemaining())
        throw CArchiveException("string length " + std::to_string(nLength) +
                                " beyond the end of data at offset " + std::to_string(m_nPos));
    std::string str(m_data.substr(m_nPos, static_cast<size_t>(nLength)));
    m_nPos += static_cast<size_t>(nLength);
    return str;
}

ArticlePtr CArchive::ReadObject()
{
    size_t nTagPos = m_nPos;
    uint16_t nTag = ReadUInt16();
    if (nTag == kNewClassTag)
    {
        uint16_t nSchema = ReadUInt16();
        uint16_t nNameLength = ReadUInt16();
        Need(nNameLength, "a class name");
        std::string_view name = m_data.substr(m_nPos, nNameLength);
        m_nPos += nNameLength;
        if (name != kClassName)
            throw CArchiveException("unexpected class \"" + std::string(name) + "\" at offset " +
                                    std::to_string(nTagPos));
        if (nSchema != kSchema)
            throw CArchiveException("unexpected schema " + std::to_string(nSchema) +
                                    " of class CArticle at offset " + std::to_string(nTagPos));
        m_bClassRead = true;
    }
    else if (nTag == (kClassTag | 1))
    {
        if (!m_bClassRead)
            throw CArchiveException("class reference before any class record at offset " +
                                    std::to_string(nTagPos));
    }
    else
    {
        // Null objects, object references, other class indices and the
        // 32-bit tag escape are never written by this program.
        throw CArchiveException("unknown object tag " + std::to_string(nTag) + " at offset " +
                                std::to_string(nTagPos));
    }
    auto pArticle = std::make_shared<CArticle>();
    pArticle->Serialize(*this);
    return pArticle;
}

void CArchive::Serialize(int32_t& nValue)
{
    if (IsStoring())
        WriteInt32(nValue);
    else
        nValue = ReadInt32();
}

void CArchive::Serialize(std::string& str)
{
    if (IsStoring())
        WriteString(str);
    else
        str = ReadString();
}
