#pragma once

#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

// The kill files ("Author.kill", "Subject.kill"): plain text, one entry a
// line, every entry followed by a line end, no header and no quoting. An empty
// line is an empty entry (which kills every article).
class CKillFile
{
public:
    // Appends the file's lines to lstEntries, skipping a line exactly equal
    // (case counts) to an entry already there, so a second load adds nothing.
    // A trailing CR is dropped, as files written on the other platform end
    // their lines with CR LF. A file that is missing or cannot be read adds
    // nothing, silently. Works for any list of std::string with push_back.
    template <class TList> static void LoadKillFilter(const std::string& strPath, TList& lstEntries)
    {
        std::vector<std::string> lines;
        if (!ReadLines(strPath, lines))
            return;
        // Copies, not views: appending may move the list's own strings.
        std::unordered_set<std::string> known(lstEntries.begin(), lstEntries.end());
        for (std::string& line : lines)
            if (known.insert(line).second)
                lstEntries.push_back(std::move(line));
    }

    // Rewrites the file with one entry a line, each followed by "\n" (an entry
    // that ends in CR by "\r\n"; an empty list gives an empty file). The new
    // text goes to a temporary file in the same folder that then replaces the
    // old file, so a crash or a full disk
    // leaves the old file or the new one, never half of one. False when it
    // could not be written; the old file (or none) is then left in place.
    template <class TList> static bool SaveKillFilter(const std::string& strPath, const TList& lstEntries)
    {
        return WriteFileAtomic(strPath, FileText(lstEntries));
    }
    // The text SaveKillFilter writes.
    template <class TList> static std::string FileText(const TList& lstEntries)
    {
        std::string strText;
        for (const auto& entry : lstEntries)
        {
            strText += entry;
            // The reader drops one CR before the LF: an entry's own CR at
            // its end needs another behind it to come back.
            if (!std::string_view(entry).empty() && std::string_view(entry).back() == '\r')
                strText += '\r';
            strText += '\n';
        }
        return strText;
    }

    // The file's lines without their line ends (LF or CR LF); a last line
    // without a line end counts when it is not empty. False when the file
    // cannot be opened or read.
    static bool ReadLines(const std::string& strPath, std::vector<std::string>& lines);
    // The same for a file's text already read.
    static void SplitLines(std::string_view strData, std::vector<std::string>& lines);
    // Replaces the file's whole content through a temporary file and a rename.
    static bool WriteFileAtomic(const std::string& strPath, std::string_view strData);
};
