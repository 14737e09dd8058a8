#pragma once

#include "model/Article.h"

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

// Raised while loading when the bytes are not what the writer produces:
// the data ends early, an object names another class or schema, a tag is
// unknown, or a length runs past the end of the input.
class CArchiveException : public std::runtime_error
{
public:
    explicit CArchiveException(const std::string& strWhat) : std::runtime_error(strWhat) {}
};

// The MFC CArchive byte format, as far as the queue file uses it: 32-bit
// little-endian integers, length-prefixed byte strings and CArticle objects
// behind a new-class record or a class reference. A storing archive appends
// to an in-memory buffer; a loading archive reads from one and never trusts
// a length or count beyond the bytes that are really there.
class CArchive
{
public:
    enum Mode
    {
        store = 0,
        load = 1,
    };

    // A storing archive with an empty buffer.
    CArchive();
    // A loading archive over data (which must outlive the archive).
    explicit CArchive(std::string_view data);
    CArchive(const CArchive&) = delete;
    CArchive& operator=(const CArchive&) = delete;

    bool IsStoring() const { return m_nMode == store; }
    bool IsLoading() const { return m_nMode == load; }

    // Storing.
    void WriteUInt16(uint16_t nValue);
    void WriteInt32(int32_t nValue);
    void WriteString(const std::string& str);
    // Writes the class record (first object) or the class reference, then
    // the article's fields.
    void WriteObject(const CArticle& article);
    const std::string& GetBuffer() const { return m_strBuffer; }

    // Loading; each throws CArchiveException on malformed input.
    uint16_t ReadUInt16();
    int32_t ReadInt32();
    uint32_t ReadUInt32();
    std::string ReadString();
    // Reads one object, which must be a CArticle of schema 1.
    ArticlePtr ReadObject();
    size_t GetRemaining() const { return m_data.size() - m_nPos; }
    size_t GetPosition() const { return m_nPos; }

    // Either direction, as CArticle::Serialize uses them.
    void Serialize(int32_t& nValue);
    void Serialize(std::string& str);

    static constexpr const char* kClassName = "CArticle";
    static constexpr uint16_t kSchema = 1;
    static constexpr uint16_t kNewClassTag = 0xFFFF;
    static constexpr uint16_t kClassTag = 0x8000;
    static constexpr uint16_t kBigObjectTag = 0x7FFF;

private:
    void Need(size_t nBytes, const char* pszWhat) const;

    Mode m_nMode;
    std::string m_strBuffer; // storing
    std::string_view m_data; // loading
    size_t m_nPos = 0;
    bool m_bClassWritten = false;
    bool m_bClassRead = false;
};
