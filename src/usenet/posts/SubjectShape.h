#pragma once

// What the subject of one posted article says about the file it belongs to.
// The parts of one file share the poster and a subject that differs only in
// the part counter, the "(p/n)" in the last parentheses:
//   [3/12] - "name.part03.rar" yEnc (17/50)
//   "name.ext" yEnc (1/7)
//   Some text - name.ext (5/20)
//   name.ext (1/1)

#include <string>
#include <string_view>

namespace usenet
{

struct SSubjectShape
{
    // The subject with the counter's part number blanked out: equal for all
    // the parts of one file (the poster aside).
    std::string m_strKey;
    int m_nPart = 0;  // 0: no counter (a single article: text, or one yEnc post)
    int m_nTotal = 0;
    size_t m_nCounterAt = std::string::npos; // where "(p/n)" begins in the subject
    size_t m_nCounterEnd = std::string::npos; // one past its ")"
    bool m_bYenc = false; // the subject names yEnc
    std::string m_strName; // the quoted name, else the name in front of the counter

    bool HasCounter() const { return m_nPart > 0; }
};

SSubjectShape ParseSubjectShape(std::string_view strSubject);

} // namespace usenet
