#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// Answers "does any kill entry occur in this text", ignoring case, for a whole
// kill list at once. The rule is the plain one: lower-case the entry and the
// text (ASCII, byte by byte) and test for a substring; an empty entry occurs in
// every text. Testing each entry in turn costs entries times articles
// substring searches, which is far too slow for long lists on big listings, so
// the entries are compiled once into one automaton (Aho-Corasick, as a
// deterministic table over the byte classes that occur in the entries) and a
// text is scanned once, whatever the number of entries.
class CKillMatcher
{
public:
    CKillMatcher() { Clear(); }

    // Builds the automaton from any sequence of std::string entries (the
    // kill lists may be vectors or lists); duplicates are harmless.
    template <class TEntries> explicit CKillMatcher(const TEntries& entries) { Build(entries); }

    template <class TEntries> void Build(const TEntries& entries)
    {
        std::vector<std::string_view> views;
        for (const auto& entry : entries)
            views.emplace_back(entry);
        BuildFrom(views);
    }

    // No entries: nothing is ever matched.
    void Clear();

    bool IsEmpty() const { return m_nEntries == 0; }
    size_t GetEntryCount() const { return m_nEntries; }
    size_t GetStateCount() const { return m_nStates; }

    // True when some entry occurs in strText, case ignored. The text is
    // lower-cased on the fly while it is scanned; nothing is copied.
    bool Matches(std::string_view strText) const;

    // The ASCII lower-casing both sides of every test use (the C locale's
    // tolower, byte by byte; bytes from 0x80 up are left as they are).
    static char LowerChar(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }
    static std::string ToLower(std::string_view str);
    static void ToLowerInPlace(std::string& str);

private:
    void BuildFrom(const std::vector<std::string_view>& entries);

    // Byte (before lower-casing) -> column of the table; column 0 stands for
    // every byte that occurs in no entry, which always leads back to the root.
    std::array<uint16_t, 256> m_byteClass{};
    uint32_t m_nClasses = 1;
    // m_next[state * m_nClasses + class]; state 0 is the root. A state that
    // ends an entry (itself or through a suffix) is marked in m_accept.
    std::vector<uint32_t> m_next;
    std::vector<uint8_t> m_accept;
    size_t m_nStates = 1;
    size_t m_nEntries = 0;
    // An empty entry occurs in every text.
    bool m_bMatchesAll = false;
};
