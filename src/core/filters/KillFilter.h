#pragma once

#include <string>
#include <vector>

class CArticle;

// The author and subject kill lists: an article whose author contains an
// author entry, or whose subject contains a subject entry, is killed. Case is
// ignored; an empty entry occurs in every text and so kills everything.
class CKillFilter
{
public:
    virtual ~CKillFilter() = default;

    bool IsKilled(const CArticle& article) const;

    // Fills both lists from "Author.kill" and "Subject.kill" in strFolder: one
    // entry a line, an entry already in the list is skipped, an empty line is
    // an (empty) entry; a missing file is an empty list.
    void LoadKillFilter(const std::string& strFolder);

    std::vector<std::string> m_lstKillAuthors;
    std::vector<std::string> m_lstKillSubjects;
};
