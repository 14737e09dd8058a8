#pragma once

// Helpers for the GUI tests: a whole program (document, frame, view) on a
// private data folder with scripted prompts, and small INI helpers.

#include "app/DravelinApp.h"
#include "support/TestSupport.h"

#include <memory>
#include <string>

class CArticle;
class CDravelinView;
class CMainFrame;

namespace guitest
{

class CTestProgram
{
public:
    // A settings file whose version keys pass the check (no message at start).
    // strWindow: more keys of section "Dravelin" (the placement);
    // strPreferences: the keys of section "Preferences" (no queue file).
    static std::string CompatibleIni(const std::string& strMore = std::string(),
                                     const std::string& strWindow = std::string(),
                                     const std::string& strPreferences = "LoadQueue=0\nSaveQueue=0\n");

    CTestProgram();
    ~CTestProgram();

    // Writes strIni as the settings file (before Start).
    void WriteIni(const std::string& strIni);
    // Builds the program as the real start-up does.
    void Start();
    // Closes it as the user would (the quit question), then destroys it.
    // False when the close was refused.
    bool Close();
    // Destroys without asking (the state is saved).
    void Stop();

    std::string IniPath() const { return m_dir.File("Dravelin.ini"); }
    std::string Folder() const { return m_dir.Path().string(); }
    int GetInt(const std::string& strSection, const std::string& strKey, int nDefault = -999) const;
    std::string GetString(const std::string& strSection, const std::string& strKey) const;

    CDravelinApp& App() { return *m_pApp; }
    CMainFrame& Frame() const;
    CDravelinView& View() const;
    testsupport::FakePrompts m_prompts;

private:
    testsupport::TempDir m_dir;
    std::unique_ptr<CDravelinApp> m_pApp;
};

// An article with the listed fields set.
std::shared_ptr<CArticle> MakeArticle(const std::string& strSubject, const std::string& strAuthor = "author",
                                      const std::string& strDate = "01/01", int nSize = 1000,
                                      int nState = -1);

} // namespace guitest
