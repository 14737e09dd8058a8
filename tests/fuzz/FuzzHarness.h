#pragma once

// What every fuzz target shares: the entry point libFuzzer calls, a check
// that aborts (so the fuzzer keeps the input as a finding) and a way to cut
// one input into several.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize);

#define FUZZ_CHECK(cond) ((cond) ? (void)0 : fuzzharness::Broken(#cond, __FILE__, __LINE__))

namespace fuzzharness
{
[[noreturn]] inline void Broken(const char* pszWhat, const char* pszFile, int nLine)
{
    std::fprintf(stderr, "%s:%d: property broken: %s\n", pszFile, nLine, pszWhat);
    std::abort();
}

inline std::string_view View(const uint8_t* pData, size_t nSize)
{
    return {reinterpret_cast<const char*>(pData), nSize};
}

// Takes pieces off the front of an input: single bytes for choices, and
// texts up to the next NUL (the last piece runs to the end).
class CInput
{
public:
    explicit CInput(std::string_view data) : m_data(data) {}
    uint8_t Byte()
    {
        if (m_data.empty())
            return 0;
        auto n = static_cast<uint8_t>(m_data.front());
        m_data.remove_prefix(1);
        return n;
    }
    std::string Piece()
    {
        size_t nEnd = m_data.find('\0');
        std::string str(m_data.substr(0, nEnd));
        m_data.remove_prefix(nEnd == std::string_view::npos ? m_data.size() : nEnd + 1);
        return str;
    }
    std::string_view Rest() const { return m_data; }

private:
    std::string_view m_data;
};
} // namespace fuzzharness
