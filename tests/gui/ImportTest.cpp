// NZB files dropped on the main window or named on the command line.

#include "GuiTestSupport.h"

#include "app/DravelinView.h"
#include "lists/ArticleListCtrl.h"
#include "app/MainFrame.h"
#include "model/Article.h"

#include <QApplication>
#include <QDropEvent>
#include <QMimeData>
#include <QTest>
#include <QUrl>

using guitest::CTestProgram;

namespace
{
const char* kBadNzb = "This NZB file cannot be used: it cannot be read, it is not an NZB file,\n"
                      "or it lists no files to download. Nothing was queued.";

// MaxDownloads=0: queued articles wait, no worker starts.
std::string Ini()
{
    return CTestProgram::CompatibleIni({}, {}, "LoadQueue=0\nSaveQueue=0\nMaxDownloads=0\nDefaultPath=/srv/news\n");
}

const char* kNzb = "<nzb xmlns=\"http://www.newzbin.com/DTD/2003/nzb\">"
                   "<file poster=\"ann\" date=\"984391200\" subject=\"&quot;a.rar&quot; yEnc (1/1)\">"
                   "<groups><group>g</group></groups><segments>"
                   "<segment bytes=\"10\" number=\"1\">a1@x</segment></segments></file>"
                   "<file poster=\"ann\" date=\"984391200\" subject=\"&quot;b.rar&quot; yEnc (1/1)\">"
                   "<groups><group>g</group></groups><segments>"
                   "<segment bytes=\"20\" number=\"1\">b1@x</segment></segments></file></nzb>";

void Drop(QWidget* pTarget, const QString& strFile)
{
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(strFile)});
    const QPoint pt = pTarget->rect().center();
    QDragEnterEvent enter(pt, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(pTarget, &enter);
    QVERIFY(enter.isAccepted());
    QDropEvent drop(QPointF(pt), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(pTarget, &drop);
    QApplication::processEvents();
}
} // namespace

class ImportTest : public QObject
{
    Q_OBJECT

private slots:
    void dropOnWindow_data();
    void dropOnWindow();
    void commandLine();
};

void ImportTest::dropOnWindow_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<int>("queued");
    QTest::addColumn<bool>("message");
    QTest::newRow("nzb") << "in.NZB" << QByteArray(kNzb) << 2 << false;
    QTest::newRow("not xml") << "bad.nzb" << QByteArray("garbage") << 0 << true;
    QTest::newRow("no segments") << "empty.nzb"
                                 << QByteArray("<nzb xmlns=\"http://www.newzbin.com/DTD/2003/nzb\"/>") << 0 << true;
    // A queue file opened by a drop reads nothing, as always.
    QTest::newRow("queue file") << "other.dvq" << QByteArray(4, '\0') << 0 << false;
}

void ImportTest::dropOnWindow()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, content);
    QFETCH(int, queued);
    QFETCH(bool, message);
    CTestProgram program;
    program.WriteIni(Ini());
    program.Start();
    const std::string strFile = program.Folder() + "/" + name.toStdString();
    testsupport::WriteFile(strFile, content.toStdString());

    // Onto the queue itself: the list passes the drop on to the window.
    Drop(program.View().ProgressListCtrl().viewport(), QString::fromStdString(strFile));
    CArticleList& progress = program.View().Progress();
    QCOMPARE(progress.GetItemCount(), queued);
    QCOMPARE(program.m_prompts.m_messages.size(), message ? size_t{1} : size_t{0});
    if (message)
    {
        QCOMPARE(program.m_prompts.m_messages[0], std::string(kBadNzb));
        QVERIFY(program.View().GetStatusText().find("Not an NZB file") != std::string::npos ||
                program.View().GetStatusText().find("lists no segments") != std::string::npos);
    }
    if (queued)
    {
        const CArticle& b = *progress.GetArticle(1);
        QCOMPARE(b.m_strFileName, std::string("b.rar"));
        QCOMPARE(b.m_strDownloadPath, std::string("/srv/news/"));
        QCOMPARE(b.m_nSize, 20);
        QCOMPARE(b.m_nState, int(StateQueued));
        QCOMPARE(b.m_nLists, int(ListProgress));
    }
}

void ImportTest::commandLine()
{
    testsupport::TempDir dir;
    testsupport::WriteFile(dir.File("Dravelin.ini"), Ini());
    testsupport::WriteFile(dir.File("a.nzb"), kNzb);
    testsupport::WriteFile(dir.File("bad.nzb"), "<nzb");
    testsupport::FakePrompts prompts;
    CDravelinApp app;
    CDravelinApp::CCommandLine cmd = CDravelinApp::ParseCommandLine(
        {"--data-dir", dir.Path().string(), dir.File("a.nzb"), dir.File("bad.nzb"), dir.File("x.dvq")});
    QVERIFY(app.InitInstance(cmd, &prompts));
    QCOMPARE(app.View()->Progress().GetItemCount(), 2);
    QCOMPARE(app.View()->Progress().GetArticle(0)->m_strFileName, std::string("a.rar"));
    QCOMPARE(prompts.m_messages, std::vector<std::string>{kBadNzb});
    app.ExitInstance();
}

QTEST_MAIN(ImportTest)
#include "ImportTest.moc"
