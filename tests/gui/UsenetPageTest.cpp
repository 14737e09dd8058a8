// The preferences sheet's Usenet page against the simulator's NNTP face:
// "Test Server", the section in Dravelin.ini, the in-process gateway taking
// new values while a download runs, and File, "Import NZB...".

#include "GuiTestSupport.h"

#include "app/DownloadController.h"
#include "dialogs/PageUsenet.h"
#include "dialogs/PreferencesDlg.h"
#include "dialogs/UpDownEdit.h"
#include "gateway/NntpFace.h"
#include "gateway/real/UsenetGateway.h"
#include "settings/ServiceRoutes.h"

using namespace guitest;

namespace
{
constexpr const char* kGroup = "alt.binaries.page";

CGatewayOptions Corpus(int nFiles, int64_t nFileSize)
{
    CGatewayOptions corpus;
    corpus.m_groups.push_back(CGatewayGroup{kGroup, nFiles, 0, 0, false, nFileSize});
    return corpus;
}

void Type(QLineEdit* pEdit, const QString& strText)
{
    pEdit->selectAll();
    QTest::keyClicks(pEdit, strText);
}

const struct
{
    const char* pszName;
    bool bTls;
    const char* pszCertName; // "" = the face's default
    bool bCaFile;
    const char* pszPassword;
    int nMaxConnections; // the face's limit, 0 = none
    int nConnections;    // on the page
    bool bNothingListens;
    bool bSilent; // the server never speaks: the test is cancelled
    PromptIcon nIcon;
    std::vector<const char*> parts; // in the message, in this order
} kProbeRows[] = {
    // clang-format off
    {"plain", false, "", false, "secret", 0, 3, false, false, PromptIcon::Information,
     {"works.", "Greeting: 200", "TLS: not used", "Login: accepted", "Connections: 3 of 3 allowed"}},
    {"TLS trusted through the CA file", true, "", true, "secret", 0, 1, false, false, PromptIcon::Information,
     {"works.", "TLS: verified against the name 127.0.0.1 (TLSv1.", "Login: accepted", "1 of 1"}},
    {"TLS untrusted", true, "", false, "secret", 0, 1, false, false, PromptIcon::Exclamation,
     {"test failed. TLS certificate not trusted ("}},
    {"wrong host name", true, "news.example", true, "secret", 0, 1, false, false, PromptIcon::Exclamation,
     {"test failed. TLS host name mismatch: the server's certificate is not for 127.0.0.1."}},
    {"481 wrong login", false, "", false, "wrong", 0, 1, false, false, PromptIcon::Exclamation,
     {"test failed. 481 wrong login", "Greeting: 200", "Login: not accepted"}},
    {"502 above a connection count", false, "", false, "secret", 2, 5, false, false, PromptIcon::Information,
     {"works.", "Connections: 2 of 5 allowed; the next one was refused: 502 "}},
    {"nothing listens", false, "", false, "secret", 0, 1, true, false, PromptIcon::Exclamation,
     {"test failed. Connection refused: nothing answers on 127.0.0.1:"}},
    {"cancelled", false, "", false, "secret", 0, 1, false, true, PromptIcon::None, {}},
    // clang-format on
};
} // namespace

class UsenetPageTest : public QObject
{
    Q_OBJECT

private slots:
    void cleanup() { CServiceRoutes::Clear(); }

    void testServer_data() { AddRows(kProbeRows); }

    void testServer()
    {
        const auto& row = Row(kProbeRows);
        testsupport::TempDir dir;
        SNntpFaceOptions options;
        options.m_users = {{"reader", "secret"}};
        options.m_bTls = row.bTls;
        if (*row.pszCertName)
            options.m_strCertName = row.pszCertName;
        options.m_strCaFile = dir.File("ca.pem");
        options.m_fault.m_nMaxConnections = row.nMaxConnections;
        options.m_fault.m_bSilent = row.bSilent;
        CNntpFace face(Corpus(1, 1000), options);
        QVERIFY2(face.Start() > 0, face.GetError().c_str());

        testsupport::FakePrompts prompts;
        CPageUsenet page(prompts);
        CUsenetSettings settings;
        settings.m_strServer = "127.0.0.1";
        // The page's values are tested, not saved ones: the port is typed.
        page.SetControls(settings);
        page.TlsCheck()->setChecked(row.bTls);
        Type(page.PortEdit(),
             QString::number(row.bNothingListens ? testsupport::ClosedLoopbackPort() : face.Port()));
        Type(page.CAFileEdit(), row.bCaFile ? QString::fromStdString(face.CaFile()) : QString());
        Type(page.UsernameEdit(), QStringLiteral("reader"));
        Type(page.PasswordEdit(), QString::fromLatin1(row.pszPassword));
        page.ConnectionsEdit()->SetValue(row.nConnections);

        int nFinished = 0;
        QObject::connect(&page, &CPageUsenet::testFinished, [&nFinished] { ++nFinished; });
        QTest::mouseClick(page.TestButton(), Qt::LeftButton);
        // The window is not blocked: the test runs while this thread goes on.
        QCOMPARE(EnabledOf({page.TestButton(), page.CancelTestButton()}), QStringLiteral("01"));
        if (row.bSilent)
        {
            QTRY_VERIFY(face.AcceptedConnections() > 0);
            QTest::mouseClick(page.CancelTestButton(), Qt::LeftButton);
        }
        QVERIFY(WaitFor([&] { return nFinished == 1; }));
        QCOMPARE(EnabledOf({page.TestButton(), page.CancelTestButton()}), QStringLiteral("10"));
        if (row.bSilent)
        {
            QVERIFY(prompts.m_messages.empty());
            return;
        }
        QCOMPARE(prompts.m_messages.size(), size_t(1));
        QCOMPARE(prompts.m_icons.front(), row.nIcon);
        const std::string& strMessage = prompts.m_messages.front();
        size_t nAt = 0;
        for (const char* pszPart : row.parts)
        {
            nAt = strMessage.find(pszPart, nAt);
            QVERIFY2(nAt != std::string::npos, (std::string(pszPart) + " not in: " + strMessage).c_str());
        }
    }

    // What the command line writes the page shows; what the page writes the
    // command line reads, key by key.
    void pageRoundTrip()
    {
        CTestProgram program;
        program.StartWith("[Usenet]\nEnabled=1\nServer=news.example\nPort=563\nTLS=1\nCAFile=\nUsername="
                          "ann\nPassword=pw\nConnections=12\n");
        QString strShown;
        std::vector<std::string> messages;
        const std::string strCa = program.Folder() + "/ca.pem";
        testsupport::WriteFile(strCa, "-----BEGIN CERTIFICATE-----\n");
        program.RunDialogs(
            [&](QDialog& dlg)
            {
                auto& sheet = static_cast<CPreferencesDlg&>(dlg);
                CPageUsenet& page = sheet.PageUsenet();
                if (sheet.Tabs()->tabText(4) != QStringLiteral("Usenet") || sheet.Tabs()->count() != 5)
                    return false;
                strShown = page.ServerEdit()->text() + "|" + page.PortEdit()->text() + "|" +
                           page.UsernameEdit()->text() + "|" + page.PasswordEdit()->text() + "|" +
                           page.ConnectionsEdit()->text() + "|" +
                           QString::number(page.PasswordEdit()->echoMode() == QLineEdit::Password);
                // The port follows the TLS switch, until one is typed.
                page.TlsCheck()->click();
                strShown += "|" + page.PortEdit()->text();
                Type(page.PortEdit(), QStringLiteral("8119"));
                page.TlsCheck()->click();
                strShown += "|" + page.PortEdit()->text();
                // Refused values keep the sheet open on this page, one message each.
                sheet.Tabs()->setCurrentIndex(0);
                for (const char* pszConnections : {"51", "x"})
                {
                    page.ConnectionsEdit()->setText(QString::fromLatin1(pszConnections));
                    sheet.accept();
                }
                page.ConnectionsEdit()->SetValue(50);
                Type(page.ServerEdit(), QStringLiteral("news example"));
                sheet.accept();
                Type(page.ServerEdit(), QStringLiteral("news.other"));
                Type(page.CAFileEdit(), QString::fromStdString(program.Folder() + "/missing.pem"));
                sheet.accept();
                messages = program.m_prompts.m_messages;
                if (sheet.Tabs()->currentWidget() != &page || sheet.result() == QDialog::Accepted)
                    return false;
                Type(page.CAFileEdit(), QString::fromStdString(strCa));
                page.EnabledCheck()->click();
                sheet.accept();
                return sheet.result() == QDialog::Accepted;
            });
        program.Trigger(ID_FILE_PREFERENCES);
        QCOMPARE(strShown, QStringLiteral("news.example|563|ann|pw|12|1|119|8119"));
        QCOMPARE(messages, (std::vector<std::string>{
                               "Please enter an integer between 1 and 50.", CUpDownEdit::kIntegerExpected,
                               "The server name must not contain blanks or control characters.",
                               CPageUsenet::kNoCAFile}));
        QCOMPARE(program.Keys("Usenet", {"Enabled", "Server", "Port", "TLS", "CAFile", "Username", "Password",
                                         "Connections"}),
                 QString::fromStdString("Enabled=0|Server=news.other|Port=8119|TLS=1|CAFile=" + strCa +
                                        "|Username=ann|Password=pw|Connections=50"));
        CUsenetSettings read;
        read.Load(program.IniPath());
        QCOMPARE(read.m_nPort, 8119);
        QVERIFY(!read.IsActive());
    }

    void importNzbFromFileMenu_data()
    {
        QTest::addColumn<bool>("handOff");
        QTest::newRow("queued") << false;
        QTest::newRow("download manager") << true;
    }

    void importNzbFromFileMenu()
    {
        QFETCH(bool, handOff);
        CNntpFace face(Corpus(2, 1000), {});
        CTestProgram program;
        program.StartWith({},
                          std::string("LoadQueue=0\nSaveQueue=0\nMaxDownloads=0\nDefaultPath=/srv/news/\n") +
                              (handOff ? "DoNotQueue=1\nDownloadManager=0\n" : ""));
        const std::string strNzb = program.Folder() + "/two.nzb";
        testsupport::WriteFile(strNzb, face.Nzb(kGroup));
        int nAsked = 0;
        program.View().Downloads().SetNzbChooser(
            [&]
            {
                ++nAsked;
                return std::vector<std::string>{strNzb};
            });
        QVERIFY(program.Enabled(ID_FILE_IMPORTNZB));
        QGuiApplication::clipboard()->clear();
        program.Trigger(ID_FILE_IMPORTNZB);
        QCOMPARE(nAsked, 1);
        CArticleList& progress = program.View().Progress();
        const std::string strStatus = program.View().GetStatusText();
        if (handOff)
        {
            QCOMPARE(progress.GetItemCount(), 0);
            QVERIFY(QGuiApplication::clipboard()->text().contains(QStringLiteral("wwwdecode?")));
            QVERIFY(strStatus.find("Handed 2 file(s) from " + strNzb + " to the download manager") !=
                    std::string::npos);
            return;
        }
        QCOMPARE(progress.GetItemCount(), 2);
        for (int i = 0; i < 2; ++i)
        {
            const CArticle& article = *progress.GetArticle(i);
            QCOMPARE(article.m_strFileName, face.Article(kGroup, i).m_strFileName);
            QCOMPARE(article.m_strDownloadPath, std::string("/srv/news/"));
            QCOMPARE(article.m_nState, int(StateQueued));
        }
        QVERIFY(strStatus.find("Queued 2 file(s) from " + strNzb) != std::string::npos);
    }

    // A new server on OK: the running download ends on the old one, the
    // next one comes from the new one, through the same loopback port.
    void serverChangeLetsRunningDownloadFinish()
    {
        constexpr int64_t kPart = 100000;
        SNntpFaceOptions options;
        options.m_nPartSize = kPart;
        options.m_users = {{"reader", "secret"}};
        options.m_fault.m_nThrottle = kPart; // the first file takes a few seconds
        CNntpFace oldFace(Corpus(2, 8 * kPart), options);
        options.m_fault.m_nThrottle = 0;
        CNntpFace newFace(Corpus(2, 8 * kPart), options);
        QVERIFY(oldFace.Start() > 0 && newFace.Start() > 0);

        CTestProgram program;
        const std::string strOut = program.Folder() + "/dl/";
        std::filesystem::create_directories(strOut);
        program.WriteIni(CTestProgram::CompatibleIni(
            "[Usenet]\nServer=127.0.0.1\nPort=" + std::to_string(oldFace.Port()) +
                "\nTLS=0\nUsername=reader\nPassword=secret\nConnections=2\n",
            {}, "LoadQueue=0\nSaveQueue=0\nMaxDownloads=1\nDefaultPath=" + strOut + "\n"));
        CUsenetGateway gateway;
        std::string strStatus;
        QVERIFY(gateway.Start(program.IniPath(), strStatus));
        const std::string strRoute = gateway.HostPort();
        program.m_pUsenet = &gateway;
        program.Start();
        const std::string strNzb = program.Folder() + "/two.nzb";
        testsupport::WriteFile(strNzb, oldFace.Nzb(kGroup));
        QVERIFY(program.View().Downloads().ImportNzbFile(strNzb));
        CArticleList& progress = program.View().Progress();
        QCOMPARE(progress.GetItemCount(), 2);
        const ArticlePtr pFirst = progress.GetArticle(0);
        const ArticlePtr pSecond = progress.GetArticle(1);
        QVERIFY(WaitFor([&] { return oldFace.BodyRequests() > 0; }));

        program.RunDialogs(
            [&](QDialog& dlg)
            {
                auto& sheet = static_cast<CPreferencesDlg&>(dlg);
                Type(sheet.PageUsenet().PortEdit(), QString::number(newFace.Port()));
                sheet.accept();
                return sheet.result() == QDialog::Accepted;
            });
        program.Trigger(ID_FILE_PREFERENCES);
        QCOMPARE(program.GetInt("Usenet", "Port"), newFace.Port());
        QCOMPARE(gateway.HostPort(), strRoute);
        QCOMPARE(program.Doc().FindAccount(1)->m_strDownloadDomain, strRoute);
        QCOMPARE(StateOf(pFirst), int(StateDownloading));

        QVERIFY(
            WaitFor([&] { return StateOf(pFirst) == StateDone && StateOf(pSecond) == StateDone; }, 60000));
        for (int i = 0; i < 2; ++i)
        {
            const CGatewayArticle article = oldFace.Article(kGroup, i);
            QVERIFY(testsupport::ReadFile(strOut + article.m_strFileName) == oldFace.FileBytes(article));
        }
        // The first file's parts all came from the old server, the second's
        // all from the new one.
        QCOMPARE(oldFace.BodyRequests(), 8);
        QCOMPARE(newFace.BodyRequests(), 8);
        QVERIFY(program.View().GetStatusText().find(
                    "Usenet gateway for 127.0.0.1:" + std::to_string(newFace.Port()) + " on " + strRoute) !=
                std::string::npos);
        program.Stop();
    }

    // Switched off on the sheet, the account gets the file's hosts back; on
    // again, the same loopback route.
    void switchOffAndOnAgain()
    {
        CTestProgram program;
        program.WriteIni(CTestProgram::CompatibleIni(
            "[Account]\nSubscriptions=1\n[NewsGuy]\nHeaderDomain=h.example\nDownloadDomain=d.example\n["
            "Usenet]\nServer=127.0.0.1\nPort=119\nTLS=0\n"));
        CUsenetGateway gateway;
        std::string strStatus;
        QVERIFY(gateway.Start(program.IniPath(), strStatus));
        const std::string strRoute = gateway.HostPort();
        program.m_pUsenet = &gateway;
        program.Start();
        program.RunDialogs(
            [](QDialog& dlg)
            {
                auto& sheet = static_cast<CPreferencesDlg&>(dlg);
                sheet.PageUsenet().EnabledCheck()->click();
                sheet.accept();
                return sheet.result() == QDialog::Accepted;
            });
        const AccountPtr pAccount = program.Doc().FindAccount(1);
        QStringList hosts;
        for (int i = 0; i < 2; ++i)
        {
            program.Trigger(ID_FILE_PREFERENCES);
            QCOMPARE(program.Doc().FindAccount(1), pAccount);
            hosts << QString::fromStdString(pAccount->m_strHeaderDomain + " " +
                                            pAccount->m_strDownloadDomain + " " + CServiceRoutes::Get(1));
        }
        QCOMPARE(hosts, QStringList({"h.example d.example ",
                                     QString::fromStdString(strRoute + " " + strRoute + " " + strRoute)}));
        QCOMPARE(program.Keys("NewsGuy", {"HeaderDomain"}), QStringLiteral("HeaderDomain=h.example"));
        QVERIFY(program.View().GetStatusText().find(
                    "The Usenet gateway for 127.0.0.1:119 is switched off.") != std::string::npos);
    }
};

QTEST_MAIN(UsenetPageTest)
#include "UsenetPageTest.moc"
