#pragma once

#include <memory>
#include <string>
#include <vector>

class CDravelinDoc;
class CDravelinView;
class CMainFrame;
class CUsenetGateway;
class IPrompts;

// The application: reads the command line, builds the document, the frame
// and the view in the documented order, and tears them down in order.
class CDravelinApp
{
public:
    // What the command line asked for.
    struct CCommandLine
    {
        std::string strDataDir; // --data-dir DIR
        bool bDemo = false;     // --demo
        bool bDisableProgressBytes = false;
        bool bError = false;
        std::string strError;
        // Queue files and NZB files to queue.
        std::vector<std::string> files;
    };
    static CCommandLine ParseCommandLine(const std::vector<std::string>& args);

    CDravelinApp();
    ~CDravelinApp();
    CDravelinApp(const CDravelinApp&) = delete;
    CDravelinApp& operator=(const CDravelinApp&) = delete;

    // Builds the document (with its version check), the frame and the view,
    // runs the view's initial update and shows the window with its saved
    // placement. pPrompts: null for message boxes. False when the data
    // folder cannot be used.
    bool InitInstance(const CCommandLine& cmd, IPrompts* pPrompts = nullptr, std::string* pError = nullptr);
    // Queue files and NZB files from outside join the queue.
    void OpenFiles(const std::vector<std::string>& files);
    // The in-process Usenet gateway that the document's preferences restart
    // (set before InitInstance; it must outlive the program object).
    void SetUsenetGateway(CUsenetGateway* pUsenet) { m_pUsenet = pUsenet; }
    // Destroys view, frame and document in order (each saves its state).
    void ExitInstance();
    // The desktop session ends: the shutdown save's writes, the program left
    // running until it is told to quit.
    void CommitData();

    CDravelinDoc* Doc() const { return m_pDoc.get(); }
    CMainFrame* Frame() const { return m_pFrame.get(); }
    CDravelinView* View() const { return m_pView; }
    IPrompts& Prompts() const { return *m_pPrompts; }

private:
    std::unique_ptr<IPrompts> m_pOwnPrompts;
    IPrompts* m_pPrompts = nullptr;
    std::unique_ptr<CDravelinDoc> m_pDoc;
    std::unique_ptr<CMainFrame> m_pFrame;
    CDravelinView* m_pView = nullptr;
    CUsenetGateway* m_pUsenet = nullptr;
};
