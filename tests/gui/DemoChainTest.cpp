// Demo mode end to end: the simulator's NNTP face posts the demo groups as
// numbered multipart yEnc, the Usenet gateway inside the program serves the
// NewsGuy account from it, and the window lists and downloads as a user's.

#include "GuiTestSupport.h"

#include "demo/DemoMode.h"
#include "gateway/NntpFace.h"
#include "gateway/real/UsenetGateway.h"

#include <algorithm>
#include <vector>

using namespace guitest;

namespace
{
constexpr const char* kGroup = "alt.binaries.demo.pictures";

// A subject without its part counter and what follows it.
std::string Uncounted(const std::string& strSubject)
{
    return strSubject.substr(0, strSubject.rfind(" ("));
}
} // namespace

class DemoChainTest : public QObject
{
    Q_OBJECT

private slots:
    void newsGuyListsAndDownloadsThroughUsenet()
    {
        testsupport::TempDir dir;
        CDemoMode demo;
        QVERIFY(demo.Start((dir.Path() / "demo").string()));
        QVERIFY(demo.Nntp() != nullptr);
        // As the program starts it: the gateway follows [Usenet] of the folder.
        CUsenetGateway usenet;
        usenet.SetCacheFile("127.0.0.1", demo.Nntp()->Port(), demo.CacheFile());
        std::string strStatus;
        QVERIFY2(usenet.Start(demo.DataFolder() + "/Dravelin.ini", strStatus) && usenet.IsRunning(),
                 strStatus.c_str());
        testsupport::FakePrompts prompts;
        CDravelinApp app;
        app.SetUsenetGateway(&usenet);
        CDravelinApp::CCommandLine cmd;
        cmd.strDataDir = demo.DataFolder();
        QVERIFY(app.InitInstance(cmd, &prompts));
        CDravelinView& view = *app.View();
        app.Frame()->NewsgroupBox()->setEditText(kGroup);
        QTest::mouseClick(app.Frame()->GoButton(), Qt::LeftButton);
        QVERIFY(WaitFor(
            [&] { return view.GetStatusText().find("Done retrieving headers.") != std::string::npos; },
            120000));

        // One row per posted file under its subject as posted (the part
        // counter aside), and the text post; only the file with a part never
        // posted is incomplete.
        CNntpFace& face = *demo.Nntp();
        std::vector<std::string> expected{Uncounted(CNntpFace::TextPostSubject()) + "|0"};
        CGatewayArticle chosen;
        for (int i = 0; i < demo.Gateway()->ArticleCount(kGroup); ++i)
        {
            const CGatewayArticle article = face.Article(kGroup, i);
            const bool bHole = i == CDemoMode::kIncompleteFile && face.PartCount(article) > 1;
            expected.push_back(Uncounted(face.Subject(article, 1)) + (bHole ? "|1" : "|0"));
            // The index is in the subject of every 4th file: it names one row.
            if (i % 4 == 1 && !bHole && chosen.m_strFileName.empty() && face.PartCount(article) >= 3)
                chosen = article;
        }
        QVERIFY(!chosen.m_strFileName.empty());
        std::vector<std::string> seen;
        int nChosen = -1;
        for (int i = 0; i < view.Articles().GetItemCount(); ++i)
        {
            const ArticlePtr& pArticle = view.Articles().GetArticle(i);
            seen.push_back(Uncounted(pArticle->m_strSubject) +
                           (StateOf(pArticle) == StateIncomplete ? "|1" : "|0"));
            if (Uncounted(pArticle->m_strSubject) == Uncounted(face.Subject(chosen, 1)))
                nChosen = i;
        }
        std::sort(expected.begin(), expected.end());
        std::sort(seen.begin(), seen.end());
        QCOMPARE(seen, expected);

        // A multipart file downloads byte-identical into the demo's folder.
        QVERIFY(nChosen >= 0);
        const ArticlePtr pChosen = view.Articles().GetArticle(nChosen);
        SelectOnly(view.Articles(), {nChosen});
        view.OnCommand(ID_ARTICLE_DOWNLOAD);
        QVERIFY(WaitFor([&] { return StateOf(pChosen) == StateDone; }, 120000));
        QVERIFY(testsupport::ReadFile(demo.DataFolder() + "/Downloads/" + pChosen->m_strSavedName) ==
                face.FileBytes(chosen));
        QVERIFY(std::filesystem::exists(demo.CacheFile()));
    }
};

QTEST_MAIN(DemoChainTest)
#include "DemoChainTest.moc"
