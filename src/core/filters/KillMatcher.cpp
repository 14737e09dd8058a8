#include "filters/KillMatcher.h"

#include <stdexcept>

namespace
{
// Set in a table entry whose target state ends an entry.
constexpr uint32_t kAccept = 0x80000000u;
} // namespace

void CKillMatcher::Clear()
{
    m_byteClass.fill(0);
    m_nClasses = 1;
    m_next.assign(1, 0);
    m_accept.assign(1, 0);
    m_nStates = 1;
    m_nEntries = 0;
    m_bMatchesAll = false;
}

std::string CKillMatcher::ToLower(std::string_view str)
{
    std::string strLower(str);
    ToLowerInPlace(strLower);
    return strLower;
}

void CKillMatcher::ToLowerInPlace(std::string& str)
{
    for (char& c : str)
        c = LowerChar(c);
}

void CKillMatcher::BuildFrom(const std::vector<std::string_view>& entries)
{
    Clear();
    m_nEntries = entries.size();

    // Columns only for the (lower-cased) bytes the entries use; a text byte
    // outside them can never continue a match.
    std::array<uint16_t, 256> lowerClass{};
    size_t nTotal = 0;
    for (std::string_view entry : entries)
    {
        if (entry.empty())
            m_bMatchesAll = true;
        nTotal += entry.size();
        for (char c : entry)
        {
            auto b = static_cast<unsigned char>(LowerChar(c));
            if (lowerClass[b] == 0)
                lowerClass[b] = static_cast<uint16_t>(m_nClasses++);
        }
    }
    for (int b = 0; b < 256; ++b)
        m_byteClass[static_cast<size_t>(b)] =
            lowerClass[static_cast<unsigned char>(LowerChar(static_cast<char>(b)))];
    if (m_bMatchesAll)
        return; // every text matches; no table needed

    const size_t nClasses = m_nClasses;
    const size_t nMaxStates = nTotal + 1;
    // Table entries hold state * classes with the accept bit on top.
    if (nMaxStates * nClasses >= kAccept)
        throw std::length_error("kill list too long");

    // The trie: row s holds the children of state s; 0 means none (no edge of
    // a trie leads back to the root, so 0 is free to mean that).
    std::vector<uint32_t> trie(nClasses, 0);
    std::vector<uint8_t> accept(1, 0);
    size_t nStates = 1;
    for (std::string_view entry : entries)
    {
        size_t s = 0;
        for (char c : entry)
        {
            size_t cls = lowerClass[static_cast<unsigned char>(LowerChar(c))];
            uint32_t& child = trie[s * nClasses + cls];
            if (child == 0)
            {
                child = static_cast<uint32_t>(nStates++);
                trie.resize(nStates * nClasses, 0);
                accept.push_back(0);
            }
            s = trie[s * nClasses + cls];
        }
        accept[s] = 1;
    }

    // Breadth-first: every missing edge becomes the edge of the failure state
    // (the longest proper suffix that is also a trie state), and a state
    // accepts when its failure state does, so reaching any state that ends an
    // entry, directly or as a suffix, is seen at once.
    std::vector<uint32_t> fail(nStates, 0);
    std::vector<uint32_t> queue;
    queue.reserve(nStates);
    for (size_t cls = 0; cls < nClasses; ++cls)
        if (uint32_t child = trie[cls]; child != 0)
            queue.push_back(child);
    for (size_t head = 0; head < queue.size(); ++head)
    {
        const uint32_t s = queue[head];
        const size_t f = fail[s];
        for (size_t cls = 0; cls < nClasses; ++cls)
        {
            uint32_t& edge = trie[s * nClasses + cls];
            const uint32_t viaFail = trie[f * nClasses + cls];
            if (edge != 0)
            {
                fail[edge] = viaFail;
                accept[edge] = static_cast<uint8_t>(accept[edge] | accept[viaFail]);
                queue.push_back(edge);
            }
            else
                edge = viaFail;
        }
    }

    m_nStates = nStates;
    m_accept = std::move(accept);
    m_next.resize(nStates * nClasses);
    for (size_t i = 0; i < m_next.size(); ++i)
    {
        const uint32_t target = trie[i];
        m_next[i] = static_cast<uint32_t>(target * nClasses) | (m_accept[target] ? kAccept : 0u);
    }
}

bool CKillMatcher::Matches(std::string_view strText) const
{
    if (m_bMatchesAll)
        return true;
    if (m_nEntries == 0)
        return false;
    const uint32_t* next = m_next.data();
    uint32_t nRow = 0;
    for (char c : strText)
    {
        const uint32_t v = next[nRow + m_byteClass[static_cast<unsigned char>(c)]];
        if (v & kAccept)
            return true;
        nRow = v;
    }
    return false;
}
