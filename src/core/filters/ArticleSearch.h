#pragma once

#include "filters/KillMatcher.h"
#include "model/ArticleList.h"

#include <string>
#include <vector>

class IPrompts;

// Find, filter, hide incomplete and "Apply Kill Filter" on the article list
// (a CArticleList of the article kind). Find and filter look at the subject
// only: a plain substring test, case ignored (ASCII lower-casing of both
// sides) unless match case is on; an empty text occurs in every subject.
// The find state (m_strFind, m_bMatchCase, m_bFound, m_nFindFrom) and the
// last filter text (m_strFilter) live in the list.
//
// Removals are collected during the walk and done in one pass afterwards, so
// a walk over a large listing never shifts the rows it still has to look at.
class CArticleSearch
{
public:
    // "Find &Next\tF3": clears the selection (the rows stay focused), then
    // selects and focuses the next row from m_nFindFrom whose subject holds
    // m_strFind. When none does, shows "Not found: " and the find text and
    // starts the next search at the top. True when a row was found.
    static bool FindNext(CArticleList& list, IPrompts* pPrompts);

    // OK of the find dialog: a new search for strText (blanks around it are
    // dropped) from the top, then FindNext.
    static bool Find(CArticleList& list, const std::string& strText, bool bMatchCase, IPrompts* pPrompts);

    // OK of the filter dialog. From the last row to the first: with bInverted
    // off, a matching row is removed (bRemove) or scrolled into view and
    // selected, any other row is deselected; with bInverted on, a row that
    // does not match is removed (bRemove) or selected, a matching one is
    // scrolled into view and deselected. m_strFilter keeps the text as typed.
    static void ApplyFilter(CArticleList& list, const std::string& strText, bool bMatchCase, bool bRemove,
                            bool bInverted);

    // "&Hide Incomplete Articles" switched on: removes every row whose
    // article is incomplete. Returns the number of rows removed.
    static int HideIncomplete(CArticleList& list);

    // "Apply Kill Filter": removes every row whose subject holds an entry of
    // the subject list or whose author holds one of the author list (case
    // ignored). An article that is also queued stays in the progress list.
    // Returns the number of rows removed.
    static int ApplyKillFilter(CArticleList& list, const CKillMatcher& authors, const CKillMatcher& subjects);

    // The same from the kill lists themselves (vectors or lists of strings).
    template <class TList>
    static int ApplyKillFilter(CArticleList& list, const TList& lstKillAuthors, const TList& lstKillSubjects)
    {
        return ApplyKillFilter(list, CKillMatcher(lstKillAuthors), CKillMatcher(lstKillSubjects));
    }

    // The test an arriving article of a listing passes through: killed when an
    // author entry occurs in its author or a subject entry in its subject.
    static bool IsKilled(const CArticle& article, const CKillMatcher& authors, const CKillMatcher& subjects);

    // Whether strSubject holds the pattern; strPattern must already be
    // lower-cased when bMatchCase is off. strBuffer is scratch space that a
    // walk reuses so that no row allocates.
    static bool SubjectMatches(const CArticle& article, const std::string& strPattern, bool bMatchCase,
                               std::string& strBuffer);

    // Removes the given rows (any order) through the list's removal rules
    // and keeps the selection of the other rows. On the article list this is
    // one pass over the list, however many rows go.
    static void RemoveRows(CArticleList& list, std::vector<int> rows);
};
