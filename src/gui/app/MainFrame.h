#pragma once

#include "app/CommandIds.h"

#include <QMainWindow>
#include <QRect>

#include <map>

class CDravelinDoc;
class CDravelinView;
class IPrompts;
class QCheckBox;
class QComboBox;
class QDateTimeEdit;
class QLabel;
class QProgressBar;
class QPushButton;
class QToolBar;

// The program's only top-level window: menu bar, the toolbar and the dialog
// bar (newsgroup box, Go, date limit), the status bar, and the view as its
// client area. It restores its placement at the first activation and saves it
// when it is destroyed. Every menu, toolbar and accelerator command is a
// QAction whose data is the command id; commands not handled here go to the
// view, and an update pass sets each action's enabled and checked state.
class CMainFrame : public QMainWindow
{
    Q_OBJECT

public:
    static constexpr int kMinWidth = 750;
    static constexpr int kMinHeight = 496;

    CMainFrame(CDravelinDoc& doc, IPrompts& prompts);
    ~CMainFrame() override;

    // The view becomes the client area and receives the commands.
    void SetView(CDravelinView* pView);
    CDravelinView* View() const { return m_pView; }

    QAction* FindAction(int nId) const;
    // Runs a command as the menus do, then the update pass.
    void OnCommand(int nId);
    // The update pass over every action.
    void UpdateCommandUI();

    // First activation: the saved placement from section "Dravelin", then show.
    void ActivateFrame();
    // Saves the placement (once); also run by the destructor.
    void OnDestroy();
    // Writes the placement to section "Dravelin" now.
    void SavePlacement();

    // The dialog bar's controls.
    QComboBox* NewsgroupBox() const { return m_pNewsgroup; }
    QPushButton* GoButton() const { return m_pGo; }
    QDateTimeEdit* DatePicker() const { return m_pDate; }
    QCheckBox* LimitCheck() const { return m_pLimit; }
    QProgressBar* ListingProgress() const { return m_pProgress; }
    QToolBar* ToolBar() const { return m_pToolBar; }
    QToolBar* DialogBar() const { return m_pDialogBar; }
    QLabel* MessagePane() const { return m_pMessagePane; }

    // The normal (restored) rectangle as Left, Top, Right, Bottom.
    QRect NormalRect() const { return m_rcNormal; }

protected:
    void closeEvent(QCloseEvent* pEvent) override;
    void moveEvent(QMoveEvent* pEvent) override;
    void resizeEvent(QResizeEvent* pEvent) override;
    void changeEvent(QEvent* pEvent) override;
    // Files dropped from the desktop: NZB files and queue files join the
    // queue.
    void dragEnterEvent(QDragEnterEvent* pEvent) override;
    void dropEvent(QDropEvent* pEvent) override;

private:
    void CreateMenus();
    void CreateToolBar();
    void CreateDialogBar();
    void CreateStatusBar();
    QAction* MakeAction(int nId, const char* pszText);
    void ShowAbout();
    void TrackNormalRect();

    CDravelinDoc& m_doc;
    IPrompts& m_prompts;
    CDravelinView* m_pView = nullptr;
    std::map<int, QAction*> m_actions;
    QToolBar* m_pToolBar = nullptr;
    QToolBar* m_pDialogBar = nullptr;
    QComboBox* m_pNewsgroup = nullptr;
    QPushButton* m_pGo = nullptr;
    QDateTimeEdit* m_pDate = nullptr;
    QCheckBox* m_pLimit = nullptr;
    QLabel* m_pMessagePane = nullptr;
    QProgressBar* m_pProgress = nullptr;
    int32_t m_bFirstActivation = 1;
    bool m_bDestroyed = false;
    QRect m_rcNormal;
};
