#include "GuiTestSupport.h"

#include "app/DravelinView.h"
#include "app/MainFrame.h"
#include "model/Article.h"
#include "settings/ProfileFile.h"

#include <QApplication>
#include <QTest>

#include <stdexcept>

namespace guitest
{

std::string CTestProgram::CompatibleIni(const std::string& strMore, const std::string& strWindow,
                                        const std::string& strPreferences)
{
    return "[Dravelin]\nVersion=2.0\nCompatibleBuild=0328\n" + strWindow + "[Preferences]\n" +
           strPreferences + strMore;
}

CTestProgram::CTestProgram() = default;

CTestProgram::~CTestProgram()
{
    Stop();
}

void CTestProgram::WriteIni(const std::string& strIni)
{
    testsupport::WriteFile(IniPath(), strIni);
}

void CTestProgram::Start()
{
    m_pApp = std::make_unique<CDravelinApp>();
    CDravelinApp::CCommandLine cmd;
    cmd.strDataDir = Folder();
    std::string strError;
    if (!m_pApp->InitInstance(cmd, &m_prompts, &strError))
        throw std::runtime_error("start-up failed: " + strError);
    QApplication::processEvents();
}

bool CTestProgram::Close()
{
    if (!m_pApp)
        return true;
    if (!m_pApp->Frame()->close())
        return false;
    Stop();
    return true;
}

void CTestProgram::Stop()
{
    if (!m_pApp)
        return;
    m_pApp->ExitInstance();
    m_pApp.reset();
}

int CTestProgram::GetInt(const std::string& strSection, const std::string& strKey, int nDefault) const
{
    return CProfileFile::GetProfileInt(strSection, strKey, nDefault, IniPath());
}

std::string CTestProgram::GetString(const std::string& strSection, const std::string& strKey) const
{
    return CProfileFile::GetProfileString(strSection, strKey, "<missing>", IniPath());
}

CMainFrame& CTestProgram::Frame() const
{
    return *m_pApp->Frame();
}

CDravelinView& CTestProgram::View() const
{
    return *m_pApp->View();
}

std::shared_ptr<CArticle> MakeArticle(const std::string& strSubject, const std::string& strAuthor,
                                      const std::string& strDate, int nSize, int nState)
{
    auto pArticle = std::make_shared<CArticle>();
    pArticle->m_strSubject = strSubject;
    pArticle->m_strAuthor = strAuthor;
    pArticle->m_strDate = strDate;
    pArticle->m_nSize = nSize;
    pArticle->m_nState = nState;
    pArticle->m_strFileName = strSubject + ".bin";
    return pArticle;
}

} // namespace guitest
