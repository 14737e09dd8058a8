#pragma once

#include <cstdint>
#include <string>
#include <vector>

// An INI file with the rules of the Windows private-profile functions that
// the settings were always read and written with: sections and keys match
// without regard to letter case, integers are decimal text, strings come
// back with at most 254 characters, and every write reaches the file at
// once, creating the file and the section when missing. A write changes only
// its own line: unknown sections, keys, comments and line endings stay.
// The file holds passwords, so it is always written with mode 0600, through
// a temporary file and a rename.
//
// The static functions work one key at a time, as the program always did.
// An object reads the file once for many keys (loaders) or collects several
// writes into one rewrite.
class CProfileFile
{
public:
    static constexpr size_t kMaxValueLength = 254;

    CProfileFile() = default;

    // Reads and parses strPath; false (and an empty file) when it cannot be
    // read, which is the same as a file without keys.
    bool Read(const std::string& strPath);
    // Takes the file's text as it was read (Read does this with the file).
    void Parse(const std::string& strData);
    // Read for a following write: true when the file was read or does not
    // exist yet, false when it exists but cannot be read.
    bool ReadForUpdate(const std::string& strPath);
    // Writes the whole file atomically with mode 0600.
    bool Write(const std::string& strPath, std::string* pError = nullptr) const;

    std::string GetString(const std::string& strSection, const std::string& strKey,
                          const std::string& strDefault) const;
    // nDefault when the key is missing or its value empty, else ParseInt.
    int32_t GetInt(const std::string& strSection, const std::string& strKey, int32_t nDefault) const;
    // A count of things the caller then reads one by one: GetInt with default
    // 0, bounded to 0 ... nMax, so a damaged file never makes a reader spin.
    int32_t GetCount(const std::string& strSection, const std::string& strKey, int32_t nMax) const;
    bool HasKey(const std::string& strSection, const std::string& strKey) const;
    void SetString(const std::string& strSection, const std::string& strKey, const std::string& strValue);
    void SetInt(const std::string& strSection, const std::string& strKey, int32_t nValue);
    // The file's text as it would be written.
    std::string GetText() const;

    // One key at a time, on the file itself.
    static int32_t GetProfileInt(const std::string& strSection, const std::string& strKey, int32_t nDefault,
                                 const std::string& strPath);
    static std::string GetProfileString(const std::string& strSection, const std::string& strKey,
                                        const std::string& strDefault, const std::string& strPath);
    static bool WriteProfileString(const std::string& strSection, const std::string& strKey,
                                   const std::string& strValue, const std::string& strPath);
    static bool WriteProfileInt(const std::string& strSection, const std::string& strKey, int32_t nValue,
                                const std::string& strPath);

    // The leading decimal number of strText: blanks skipped, optional sign;
    // 0 when there is no number. Out-of-range values are clamped.
    static int32_t ParseInt(const std::string& strText);

private:
    struct CLine
    {
        std::string strText; // without its line ending
        std::string strEol;  // "\n", "\r\n" or "" (last line without one)
    };
    // Index of the section header line, -1 when missing.
    int FindSection(const std::string& strSection) const;
    // Index of the key's line within the section starting at nSection, -1.
    int FindKey(int nSection, const std::string& strKey) const;
    // Value of the key line at nLine.
    std::string ValueOf(int nLine) const;

    std::vector<CLine> m_lines;
    std::string m_strEol = "\n"; // for new lines: the file's own convention
};
