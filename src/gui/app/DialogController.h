#pragma once

#include <QObject>

#include <functional>

class CDravelinDoc;
class CDravelinView;
class CUsenetSettings;
class IPrompts;
class QDialog;

// The commands that open a dialog: find, filter, the kill filter and its two
// "Add ... to kill filter" commands, and the preferences sheet. It registers
// them with the view and lives as long as the view.
class CDialogController : public QObject
{
    Q_OBJECT

public:
    CDialogController(CDravelinDoc& doc, CDravelinView& view, IPrompts& prompts);

    // Runs a dialog modally; true for OK. Tests put a function here that
    // fills in the dialog and answers for the user.
    std::function<bool(QDialog&)> m_fnRunDialog;

    void OnFind();
    void OnFilter();
    void OnKillFilter();
    // "Add Author to kill filter..." (bAuthor) or "Add Subject to kill filter...".
    void OnAddToKillFilter(bool bAuthor);
    void OnPreferences();

private:
    void RegisterCommands();
    bool RunDialog(QDialog& dlg);
    // Section [Usenet] changed on the sheet: written, and the in-process
    // gateway restarted with it.
    void ApplyUsenet(const CUsenetSettings& usenet);

    CDravelinDoc& m_doc;
    CDravelinView& m_view;
    IPrompts& m_prompts;
};
