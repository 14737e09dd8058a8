#include "GuiTestSupport.h"

#include "app/DialogController.h"
#include "settings/ProfileFile.h"

#include <stdexcept>

namespace guitest
{

std::string CTestProgram::CompatibleIni(const std::string& strMore, const std::string& strWindow,
                                        const std::string& strPreferences)
{
    return "[Dravelin]\nVersion=2.0\nCompatibleBuild=0328\n" + strWindow + "[Preferences]\n" +
           strPreferences + strMore;
}

std::string CTestProgram::AccountIni(const std::string& strHost, int nActive)
{
    std::string strIni = "[Account]\nSubscriptions=19\nActive=" + std::to_string(nActive) + "\n";
    for (const char* pszSection : {"NewsGuy", "NewsGuyExtra", "EasyNews"})
        strIni += std::string("[") + pszSection + "]\nHeaderDomain=" + strHost +
                  "\nDownloadDomain=" + strHost + "\nUsername=user\nPassword=secret\n";
    return strIni;
}

void CTestProgram::Start(const std::vector<std::string>& args)
{
    m_pApp = std::make_unique<CDravelinApp>();
    m_pApp->SetUsenetGateway(m_pUsenet);
    std::vector<std::string> line = {"--data-dir", Folder()};
    line.insert(line.end(), args.begin(), args.end());
    std::string strError;
    if (!m_pApp->InitInstance(CDravelinApp::ParseCommandLine(line), &m_prompts, &strError))
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

void CTestProgram::RunDialogs(std::function<bool(QDialog&)> fnRun) const
{
    auto* pController = View().findChild<CDialogController*>();
    if (!pController)
        throw std::runtime_error("the view has no dialog controller");
    pController->m_fnRunDialog = std::move(fnRun);
}

int CTestProgram::GetInt(const std::string& strSection, const std::string& strKey, int nDefault) const
{
    return CProfileFile::GetProfileInt(strSection, strKey, nDefault, IniPath());
}

std::string CTestProgram::GetString(const std::string& strSection, const std::string& strKey) const
{
    return CProfileFile::GetProfileString(strSection, strKey, "<missing>", IniPath());
}

QString CTestProgram::Keys(const std::string& strSection, const std::vector<std::string>& keys) const
{
    std::string strKeys;
    for (const std::string& strKey : keys)
    {
        if (!strKeys.empty())
            strKeys += '|';
        strKeys.append(strKey).append("=").append(GetString(strSection, strKey));
    }
    return QString::fromStdString(strKeys);
}

QString CTestProgram::States(const std::vector<int>& ids, bool (QAction::*pfnState)() const) const
{
    Frame().UpdateCommandUI();
    QString strStates;
    for (int nId : ids)
        strStates += (Frame().FindAction(nId)->*pfnState)() ? '1' : '0';
    return strStates;
}

QString EnabledOf(std::initializer_list<const QWidget*> widgets)
{
    QString strStates;
    for (const QWidget* pWidget : widgets)
        strStates += pWidget->isEnabled() ? '1' : '0';
    return strStates;
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

void AddListed(CDravelinView& view, std::shared_ptr<CArticle> pArticle, bool bProgress)
{
    pArticle->m_nLists |= bProgress ? ListProgress : ListArticles;
    (bProgress ? view.ProgressListCtrl() : view.ArticleListCtrl()).AddArticleRow(std::move(pArticle));
}

QStringList Column(const CArticleListCtrl& list, int nColumn)
{
    QStringList cells;
    for (int i = 0; i < list.model()->rowCount(); ++i)
        cells << list.model()->index(i, nColumn).data().toString();
    return cells;
}

std::vector<std::string> Subjects(CArticleList& list)
{
    std::vector<std::string> subjects;
    for (int i = 0; i < list.GetItemCount(); ++i)
        subjects.push_back(list.GetArticle(i)->m_strSubject);
    return subjects;
}

void SelectOnly(CArticleList& list, const std::vector<int>& rows)
{
    for (int i = 0; i < list.GetItemCount(); ++i)
        list.SetItemState(i, 0, CArticleList::RowSelected);
    for (int nRow : rows)
        list.SetItemState(nRow, CArticleList::RowSelected, CArticleList::RowSelected);
}

int StateOf(const ArticlePtr& pArticle)
{
    std::lock_guard<std::recursive_mutex> lock(pArticle->m_lock);
    return pArticle->m_nState;
}

bool DropFile(QWidget* pTarget, const std::string& strFile)
{
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(QString::fromStdString(strFile))});
    const QPoint pt = pTarget->rect().center();
    QDragEnterEvent enter(pt, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(pTarget, &enter);
    if (!enter.isAccepted())
        return false;
    QDropEvent drop(QPointF(pt), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(pTarget, &drop);
    QApplication::processEvents();
    return true;
}

QProcess* StartChild(QObject* pParent, const char* pszProgram, const QStringList& args,
                     const QString& strWorkingFolder)
{
    auto* pChild = new QProcess(pParent);
    pChild->setWorkingDirectory(strWorkingFolder);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    pChild->setProcessEnvironment(env);
    pChild->start(QString::fromLocal8Bit(pszProgram), args);
    return pChild;
}

bool WaitFor(const std::function<bool()>& done, int nTimeoutMs)
{
    QElapsedTimer timer;
    timer.start();
    while (!done())
    {
        if (timer.elapsed() > nTimeoutMs)
            return false;
        QTest::qWait(10);
    }
    return true;
}

} // namespace guitest
