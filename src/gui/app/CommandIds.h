#pragma once

// Command and control ids of the main window. They keep the numbers of the
// original resources so the enabling rules, accelerators and tests can name
// a command by the same id everywhere.
enum CommandId : int
{
    // Framework commands.
    ID_FILE_NEW = 57600,
    ID_FILE_OPEN = 57601,
    ID_APP_ABOUT = 57664,
    ID_APP_EXIT = 57665,
    ID_NEXT_PANE = 57680,
    ID_PREV_PANE = 57681,
    ID_VIEW_TOOLBAR = 59392,
    ID_VIEW_STATUS_BAR = 59393,

    // File.
    ID_FILE_PREFERENCES = 32771,
    ID_FILE_IMPORTNZB = 32817,
    // Service.
    ID_SERVICE_NEWSGUY = 32772,
    ID_SERVICE_NEWSGUYEXTRA = 32773,
    ID_SERVICE_WEBUSENET = 32774,
    ID_SERVICE_WEBUSENETMEMBERS = 32775,
    ID_SERVICE_EASYNEWS80 = 32776,
    ID_SERVICE_EASYNEWS81 = 32777,
    // Article.
    ID_ARTICLE_DOWNLOAD = 32778,
    ID_ARTICLE_DOWNLOADTO = 32779,
    ID_ARTICLE_DOWNLOADTONEWSGROUP = 32780,
    ID_ARTICLE_DOWNLOADTOSUBJECT = 32781,
    ID_ARTICLE_FIND = 32782,
    ID_ARTICLE_FINDNEXT = 32783,
    ID_ARTICLE_FILTER = 32784,
    ID_ARTICLE_HIDEINCOMPLETE = 32785,
    ID_ARTICLE_SELECTALL = 32786,
    ID_ARTICLE_REMOVE = 32787,
    ID_ARTICLE_INVERTSELECTION = 32803,
    ID_ARTICLE_KILLFILTER = 32806,
    ID_ARTICLE_ADDAUTHORTOKILL = 32807,
    ID_ARTICLE_ADDSUBJECTTOKILL = 32808,
    ID_ARTICLE_REMOVEALL = 32810,
    ID_ARTICLE_APPLYKILLFILTER = 32813,
    // Queue.
    ID_QUEUE_COPYTOCLIPBOARD = 32788,
    ID_QUEUE_CLEAR = 32789,
    ID_QUEUE_STARTDOWNLOADING = 32798,
    ID_QUEUE_SAVE = 32805,
    ID_QUEUE_EXPORTGETRIGHT = 32812,
    ID_QUEUE_COPYWITHPASSWORD = 32816,
    // Progress list context menu.
    ID_PROGRESS_EDITPATH = 32795,
    ID_PROGRESS_CANCELDOWNLOAD = 32796,
    ID_PROGRESS_REMOVE = 32797,
    ID_PROGRESS_MOVETOTOP = 32804,
    // Tools.
    ID_TOOLS_HANGUP = 32790,
    ID_TOOLS_POWEROFF = 32791,
    ID_TOOLS_DELETETEMPINET = 32792,
    ID_TOOLS_EMPTYRECYCLEBIN = 32793,
    ID_TOOLS_CLEARSTATUS = 32809,
    ID_TOOLS_IGNORELIMIT = 32815,
    // Toolbar only.
    ID_USE_DOWNLOADMANAGER = 32799,

    // Controls of the dialog bar and the view.
    IDC_GO = 1,
    IDC_ARTICLES = 1000,
    IDC_CANCEL = 1001,
    IDC_CLEAR = 1002,
    IDC_AUTO = 1003,
    IDC_PROGRESS = 1004,
    IDC_UP = 1005,
    IDC_DOWN = 1006,
    IDC_STATUS = 1007,
    IDC_NEWSGROUP = 1012,
    IDC_LIMIT = 1084,
    IDC_DATELIMIT = 1085,
    IDC_PAUSE = 1076,
};

// What an update pass reports for one command.
struct CCmdUI
{
    bool m_bEnabled = true;
    bool m_bChecked = false;
};

// Where the menus, the toolbar and the context menus send their commands.
class ICommandTarget
{
public:
    virtual ~ICommandTarget() = default;
    // True when the command was handled.
    virtual bool OnCommand(int nId) = 0;
    // Fills the enabling and check state; false when the command is unknown
    // here (it then stays as it is).
    virtual bool OnUpdateCommand(int nId, CCmdUI& ui) = 0;
};
