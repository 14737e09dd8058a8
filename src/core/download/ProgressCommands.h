#pragma once

#include <string>

class CArticleList;
class IPrompts;

// The progress list's row commands that are list logic only; the GUI wires
// its menu items and buttons to them. All run on the user-interface thread.
class CProgressCommands
{
public:
    // "Cancel &Download": every selected running download stops after its
    // current block and its row goes to the bottom, the cancelled rows in
    // their former order. Returns the number of rows cancelled.
    static int CancelDownload(CArticleList& progress);
    // "Edit Download &Path" after the dialog's OK: the selected rows get the
    // new folder, except running ones, which get a message each.
    static void EditDownloadPath(CArticleList& progress, const std::string& strFolder, IPrompts* pPrompts);
    // "Move to &Top": enabled with exactly one row selected.
    static bool CanMoveToTop(const CArticleList& progress);
    static void MoveToTop(CArticleList& progress);
    // The Up and Down buttons: each selected row moves by one; with the top
    // (bottom) row selected nothing moves at all.
    static void MoveUp(CArticleList& progress);
    static void MoveDown(CArticleList& progress);
};
