#pragma once

#include "listing/LineSource.h"
#include "listing/ListingSink.h"

#include <cstdint>
#include <string>
#include <string_view>

// Turns a NewsGuy listing page into articles: the "BatchLink(" entries with
// the lines that follow them, the "setProgress(" reports and the notice that
// a newsgroup cannot be accessed. Pure text work over a line source; one
// parser object reuses its buffers for a whole page.
class CNewsGuyParser
{
public:
    explicit CNewsGuyParser(int32_t nService) : m_nService(nService) {}

    // Reads the page to its end (or to "Cannot access Newsgroup.").
    void ParsePage(ILineSource& source, IListingSink& sink);

    // Outcome of one line of the page.
    enum LineResult
    {
        LineDone,      // go on with the next line
        LineStop,      // "Cannot access Newsgroup.": stop reading
        LineSourceEnd, // the source ended inside an entry: stop reading
    };
    // Applies the page rules to one line (an entry's further lines are read
    // from source). strLine may be changed.
    LineResult ParseLine(std::string& strLine, ILineSource& source, IListingSink& sink);

    // Removes every "<font ...>" and then every "</font>" (any case); a
    // "<font" without a closing ">" drops the rest of the line.
    static void StripFontTags(std::string& str);
    // "1.5K" → 1500, "2.35M" → 2350000, "512B" → 512, "15K" → 15000.
    static int64_t ParseSize(std::string_view strSize);
    // The "setProgress(" percentage of a line; false when a bracket is missing.
    static bool ParseProgress(std::string_view line, int& nPercent);

private:
    // One entry from its "BatchLink(" line; false when it is dropped.
    // bSourceEnd is set when the source ended inside it.
    bool ParseEntry(std::string& strFirst, ILineSource& source, ArticlePtr& pArticle, bool& bSourceEnd);

    int32_t m_nService;
    std::string m_strLine;
};
