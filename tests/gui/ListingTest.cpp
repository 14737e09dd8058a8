// Go, Cancel and the arrival filter against the gateway simulator running in
// this process on a loopback port; the demo data folder.

#include "GuiTestSupport.h"

#include "gateway/GatewaySimulator.h"

#ifdef DRAVELIN_HAVE_DEMO
#include "demo/DemoMode.h"
#include "settings/ProfileFile.h"
#endif

using namespace guitest;

namespace
{
int CountLines(const std::string& strText, const std::string& strLine)
{
    int nCount = 0;
    for (size_t nPos = strText.find(strLine); nPos != std::string::npos;
         nPos = strText.find(strLine, nPos + 1))
        ++nCount;
    return nCount;
}

void TypeAndGo(CMainFrame& frame, const QString& strText)
{
    frame.NewsgroupBox()->setEditText(strText);
    QTest::mouseClick(frame.GoButton(), Qt::LeftButton);
}

bool WaitForEnds(CDravelinView& view, int nEnds)
{
    return WaitFor([&] { return CountLines(view.GetStatusText(), "Done retrieving headers.") >= nEnds; });
}
} // namespace

class ListingTest : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<CGatewaySimulator> m_pGateway;

private slots:
    void initTestCase()
    {
        CGatewayOptions options;
        options.m_users = {{"user", "secret"}};
        options.m_groups.push_back(CGatewayGroup{"alt.binaries.large", 50000, 0, 0, false});
        m_pGateway = std::make_unique<CGatewaySimulator>(options);
        QVERIFY(m_pGateway->Start() != 0);
    }

    void cleanupTestCase() { m_pGateway->Stop(); }

    void goFillsListAndAddsFavouriteOnce()
    {
        CTestProgram program;
        program.StartWith(CTestProgram::AccountIni(m_pGateway->HostPort(), 1));
        CMainFrame& frame = program.Frame();
        CDravelinView& view = program.View();

        TypeAndGo(frame, "  alt.test  ");
        QVERIFY(view.CancelButton()->isEnabled());
        QCOMPARE(frame.windowTitle(), QStringLiteral("alt.test - Dravelin - NewsGuy"));
        QVERIFY(WaitForEnds(view, 1));
        QVERIFY(!view.CancelButton()->isEnabled());
        QVERIFY(!frame.ListingProgress()->isVisible());

        const std::vector<CGatewayArticle> expected = m_pGateway->Articles("alt.test");
        QCOMPARE(view.Articles().GetItemCount(), int(expected.size()));
        QCOMPARE(view.ArticleListCtrl().model()->rowCount(), int(expected.size()));
        // Rows in the listing's order, each the article the gateway listed there.
        for (int i = 0; i < view.Articles().GetItemCount(); ++i)
        {
            const ArticlePtr& pArticle = view.Articles().GetArticle(i);
            QCOMPARE(pArticle->m_strDecodeQuery, expected[size_t(i)].m_strDecodeQuery);
            QCOMPARE(pArticle->m_nLists, int(ListArticles));
        }
        const QString strStatus = QString::fromStdString(view.GetStatusText());
        QVERIFY(strStatus.contains("Retrieving headers: ") && strStatus.endsWith("Done retrieving headers."));

        QCOMPARE(frame.NewsgroupBox()->count(), 1);
        QCOMPARE(frame.NewsgroupBox()->itemText(0), QStringLiteral("alt.test"));
        // The same group in capitals is not a new favourite (the gateway knows
        // group names in lower case only: nothing more is listed); Go again with
        // the favourite accumulates rows, the list is not cleared.
        TypeAndGo(frame, "ALT.TEST");
        QVERIFY(WaitForEnds(view, 2));
        QCOMPARE(frame.NewsgroupBox()->count(), 1);
        QCOMPARE(frame.windowTitle(), QStringLiteral("ALT.TEST - Dravelin - NewsGuy"));
        TypeAndGo(frame, "alt.test");
        QVERIFY(WaitForEnds(view, 3));
        QCOMPARE(view.Articles().GetItemCount(), 2 * int(expected.size()));
        program.Stop();
        QCOMPARE(program.GetInt("Favorites", "Total"), 1);
        QCOMPARE(program.GetString("Favorites", "Newsgroup1"), std::string("alt.test"));
    }

    void twoQuickGoPressesEndTwice()
    {
        CTestProgram program;
        program.StartWith(CTestProgram::AccountIni(m_pGateway->HostPort(), 0));
        CDravelinView& view = program.View();
        TypeAndGo(program.Frame(), "alt.test");
        QCOMPARE(
            program.m_prompts.m_messages,
            std::vector<std::string>({"Please, select a News Service Provider in the Service-menu first."}));
        QVERIFY(!view.CancelButton()->isEnabled());
        QCOMPARE(program.Frame().NewsgroupBox()->count(), 0);

        program.Trigger(ID_SERVICE_NEWSGUYEXTRA);
        TypeAndGo(program.Frame(), "alt.test");
        TypeAndGo(program.Frame(), "alt.test");
        QVERIFY(WaitForEnds(view, 2));
        QTest::qWait(50);
        QCOMPARE(CountLines(view.GetStatusText(), "Done retrieving headers."), 2);
        // Both workers list the whole group into the same list.
        QCOMPARE(view.Articles().GetItemCount(), 2 * m_pGateway->ArticleCount("alt.test"));
        QVERIFY(!view.CancelButton()->isEnabled());
    }

    void cancelOrCloseStopsListing()
    {
        CTestProgram program;
        program.StartWith(CTestProgram::AccountIni(m_pGateway->HostPort(), 1));
        CDravelinView& view = program.View();
        TypeAndGo(program.Frame(), "alt.binaries.large");
        QVERIFY(view.CancelButton()->isEnabled());
        QTest::mouseClick(view.CancelButton(), Qt::LeftButton);
        QVERIFY(!view.GetHeaderRunEvent()->IsSet());
        QVERIFY(WaitForEnds(view, 1));
        QVERIFY(QString::fromStdString(view.GetStatusText()).endsWith("Done retrieving headers."));
        QVERIFY(view.Articles().GetItemCount() < m_pGateway->ArticleCount("alt.binaries.large"));
        QVERIFY(!view.CancelButton()->isEnabled());

        // The window goes while the worker still lists: the worker is told to
        // stop, and what it still posts goes nowhere.
        const int nListed = view.Articles().GetItemCount();
        TypeAndGo(program.Frame(), "alt.binaries.large");
        std::shared_ptr<CManualResetEvent> pRunEvent = view.GetHeaderRunEvent();
        QVERIFY(pRunEvent->IsSet());
        QTRY_VERIFY(view.Articles().GetItemCount() > nListed);
        program.Stop();
        QVERIFY(!pRunEvent->IsSet());
        QCOMPARE(program.GetString("Favorites", "Newsgroup1"), std::string("alt.binaries.large"));
        const size_t nRequests = m_pGateway->RequestCount();
        QTest::qWait(200);
        QCOMPARE(m_pGateway->RequestCount(), nRequests);
    }

    void cancelStaysUntilLastListingEnds()
    {
        CTestProgram program;
        program.StartWith(CTestProgram::AccountIni(m_pGateway->HostPort(), 16));
        CDravelinView& view = program.View();
        QCOMPARE(program.Frame().windowTitle(), QStringLiteral("Dravelin - EasyNews:80"));
        TypeAndGo(program.Frame(), "alt.binaries.test");
        QCOMPARE(program.Frame().windowTitle(), QStringLiteral("alt.binaries.test - Dravelin - EasyNews:80"));
        QVERIFY(
            WaitFor([&] { return view.GetStatusText().find(m_pGateway->HostPort()) != std::string::npos; }));
        // The second listing goes to a host that refuses, and retries until cancelled.
        AccountPtr pAccount = program.App().Doc()->Document().FindAccount(16);
        {
            std::lock_guard lock(pAccount->m_lock);
            pAccount->m_strHeaderDomain = "127.0.0.1:1";
        }
        TypeAndGo(program.Frame(), "alt.test");
        QVERIFY(WaitForEnds(view, 1));
        QTest::qWait(50);
        QCOMPARE(CountLines(view.GetStatusText(), "Done retrieving headers."), 1);
        // EasyNews lists every day of the group.
        QCOMPARE(view.Articles().GetItemCount(), m_pGateway->ArticleCount("alt.binaries.test"));
        QVERIFY(view.CancelButton()->isEnabled());
        QTest::mouseClick(view.CancelButton(), Qt::LeftButton);
        QVERIFY(WaitForEnds(view, 2));
        QVERIFY(!view.CancelButton()->isEnabled());
    }

    void arrivalFilterKillsDatesAndIncomplete()
    {
        const std::vector<CGatewayArticle> corpus = m_pGateway->Articles("alt.test");
        // Kill the first article's author (a part of it, in other case).
        const std::string strAuthor = corpus.front().m_strAuthor;
        QVERIFY(strAuthor.size() >= 4);
        const std::string strEntry = QString::fromStdString(strAuthor.substr(1, 3)).toUpper().toStdString();

        CTestProgram program;
        testsupport::WriteFile(program.Folder() + "/Author.kill", strEntry + "\n");
        program.StartWith(CTestProgram::AccountIni(m_pGateway->HostPort(), 1));
        CMainFrame& frame = program.Frame();
        CDravelinView& view = program.View();
        view.Retrieval().m_bHideIncomplete = 1;
        // Limit at noon two days back: that day is dropped, yesterday and today pass.
        frame.LimitCheck()->setChecked(true);
        frame.DatePicker()->setDateTime(QDateTime(QDate::currentDate().addDays(-2), QTime(12, 0)));
        TypeAndGo(frame, "alt.test");
        QVERIFY(WaitForEnds(view, 1));

        auto lower = [](const std::string& str)
        { return QString::fromStdString(str).toLower().toStdString(); };
        int nExpected = 0;
        for (const CGatewayArticle& article : corpus)
            if (article.m_nDay <= 1 && article.m_bComplete &&
                lower(article.m_strAuthor).find(lower(strEntry)) == std::string::npos)
                ++nExpected;
        QVERIFY(nExpected > 0);
        QVERIFY(nExpected < int(corpus.size()));
        QCOMPARE(view.Articles().GetItemCount(), nExpected);
        for (int i = 0; i < view.Articles().GetItemCount(); ++i)
        {
            const ArticlePtr& pArticle = view.Articles().GetArticle(i);
            QVERIFY(pArticle->m_nState != StateIncomplete);
            QVERIFY(lower(pArticle->m_strAuthor).find(lower(strEntry)) == std::string::npos);
        }
    }

    void demoFolderIsPreparedAndFollowsPort()
    {
#ifdef DRAVELIN_HAVE_DEMO
        testsupport::TempDir dir;
        const std::string strFolder = (dir.Path() / "demo").string();
        QVERIFY(CDemoMode::PrepareFolder(strFolder, "127.0.0.1:1111"));
        const std::string strIni = strFolder + "/Dravelin.ini";
        auto get = [&strIni](const char* pszSection, const char* pszKey)
        { return CProfileFile::GetProfileString(pszSection, pszKey, "", strIni); };
        QCOMPARE(get("Dravelin", "Version") + get("Dravelin", "CompatibleBuild") +
                     get("Account", "Subscriptions") + get("Account", "Active") + "|" +
                     get("Preferences", "DefaultPath"),
                 "2.00328191|" + strFolder + "/Downloads/");
        QVERIFY(CProfileFile::GetProfileInt("Favorites", "Total", 0, strIni) >= 3);
        // The user's own choices survive the next start; the hosts follow the port.
        CProfileFile::WriteProfileInt("Account", "Active", 16, strIni);
        QVERIFY(CDemoMode::PrepareFolder(strFolder, "127.0.0.1:2222"));
        QCOMPARE(get("Account", "Active"), std::string("16"));
        for (const char* pszSection : {"NewsGuy", "NewsGuyExtra", "EasyNews"})
            QCOMPARE(get(pszSection, "HeaderDomain") + "|" + get(pszSection, "Username"),
                     std::string("127.0.0.1:2222|") + CDemoMode::kUser);

        // And the demo lists from its own gateway.
        CDemoMode demo;
        QVERIFY(demo.Start(strFolder));
        CTestProgram program;
        CDravelinApp app;
        CDravelinApp::CCommandLine cmd;
        cmd.strDataDir = demo.DataFolder();
        QVERIFY(app.InitInstance(cmd, &program.m_prompts));
        QVERIFY(program.m_prompts.m_messages.empty());
        TypeAndGo(*app.Frame(), "alt.binaries.demo.music");
        QVERIFY(WaitForEnds(*app.View(), 1));
        QCOMPARE(app.View()->Articles().GetItemCount(),
                 demo.Gateway()->ArticleCount("alt.binaries.demo.music"));
#else
        QSKIP("built without the demo gateway");
#endif
    }
};

QTEST_MAIN(ListingTest)
#include "ListingTest.moc"
