#pragma once

// Reading NNTP replies, kept free of any socket so odd input can be fed
// straight in: the status line and the multi-line data block.

#include <cstddef>
#include <string>
#include <string_view>

namespace usenet
{

struct SNntpReplyLine
{
    int m_nCode = 0;
    std::string m_strText; // after the code, blanks around it trimmed
};

// A status line without or with its CR LF (or bare LF). Lenient: blanks
// before the code, several blanks or a TAB after it, no text at all. False
// when the line does not begin with three digits standing alone.
bool ParseNntpReplyLine(std::string_view strLine, SNntpReplyLine& reply);

// Undoes dot-stuffing of a multi-line block fed in any chunks, and finds the
// "." line that ends it. Line ends are kept as sent (CR LF or LF).
class CDotUnstuffer
{
public:
    void Reset();
    // Appends the data of p[0..n) to strOut; returns the bytes used, which is
    // less than n only when the terminator was found (the rest belongs to
    // whatever follows the block).
    size_t Feed(const char* p, size_t n, std::string& strOut);
    bool IsDone() const { return m_nState == stDone; }

private:
    enum EState
    {
        stLineStart,
        stMid,
        stDot,   // a "." began the line
        stDotCr, // ".\r" began the line
        stDone,
    };
    EState m_nState = stLineStart;
};

} // namespace usenet
