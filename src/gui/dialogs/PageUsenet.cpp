#include "dialogs/PageUsenet.h"

#include "dialogs/UpDownEdit.h"
#include "gateway/real/UsenetGateway.h"
#include "nntp/NntpPool.h"
#include "ui/Prompts.h"

#include <QCheckBox>
#include <QFileDialog>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <atomic>
#include <fstream>
#include <thread>

struct CPageUsenet::STestRun
{
    std::atomic<bool> m_bCancel{false};
    std::thread m_thread;
};

namespace
{
std::string Text(const QLineEdit* pEdit, bool bTrim = true)
{
    const QString str = bTrim ? pEdit->text().trimmed() : pEdit->text();
    return str.toLocal8Bit().toStdString();
}

bool StartsWith(const std::string& str, const char* pszPrefix)
{
    return str.rfind(pszPrefix, 0) == 0;
}

// What went wrong, named by its cause.
std::string Cause(const usenet::SProbeResult& probe, const std::string& strWhere)
{
    using usenet::ENntpStatus;
    const std::string& strText = probe.m_strText;
    switch (probe.m_nStatus)
    {
    case ENntpStatus::NetworkError:
        if (StartsWith(strText, "Host not found"))
            return "Host not found: " + strWhere.substr(0, strWhere.rfind(':')) + ".";
        return strText + ".";
    case ENntpStatus::Refused:
        if (probe.m_nCode == 0)
            return "Connection refused: nothing answers on " + strWhere + ".";
        if (probe.m_nCode == 502)
            return "502 too many connections or no access: " + strText;
        return std::to_string(probe.m_nCode) + " refused: " + strText;
    case ENntpStatus::TlsError:
        if (strText.find("host name mismatch") != std::string::npos)
            return "TLS host name mismatch: the server's certificate is not for " +
                   strWhere.substr(0, strWhere.rfind(':')) + ".";
        if (strText.find("not trusted") != std::string::npos)
            return "TLS certificate not trusted" + strText.substr(strText.find("not trusted") + 11) +
                   ". A CA file can name who may sign it.";
        return strText + ".";
    case ENntpStatus::AuthFailed:
        if (probe.m_nCode == 481 || probe.m_nCode == 482)
            return std::to_string(probe.m_nCode) + " wrong login: the server did not accept the user name or "
                                                   "password.";
        if (probe.m_nCode == 480)
            return "480 the server asks for a login: enter a user name and a password.";
        return strText + ".";
    default:
        return strText + ".";
    }
}
} // namespace

CPageUsenet::CPageUsenet(IPrompts& prompts, QWidget* pParent) : QWidget(pParent), m_prompts(prompts)
{
    auto* pLayout = new QGridLayout(this);
    m_chkEnabled = new QCheckBox(QStringLiteral("&Use the Usenet gateway"), this);
    m_edtServer = new QLineEdit(this);
    m_edtServer->setObjectName(QStringLiteral("UsenetServer"));
    m_edtPort = new QLineEdit(this);
    m_edtPort->setObjectName(QStringLiteral("UsenetPort"));
    m_chkTls = new QCheckBox(QStringLiteral("Use &TLS"), this);
    m_edtCAFile = new QLineEdit(this);
    m_btnBrowse = new QPushButton(QStringLiteral("B&rowse..."), this);
    m_edtUsername = new QLineEdit(this);
    m_edtPassword = new QLineEdit(this);
    m_edtPassword->setEchoMode(QLineEdit::Password);
    m_edtConnections =
        new CUpDownEdit(CUsenetSettings::kMinConnections, CUsenetSettings::kMaxConnections, this);
    m_edtConnections->setObjectName(QStringLiteral("UsenetConnections"));
    m_btnTest = new QPushButton(QStringLiteral("Test Ser&ver"), this);
    m_btnCancelTest = new QPushButton(QStringLiteral("Cance&l Test"), this);
    m_btnCancelTest->setEnabled(false);

    auto label = [this](const char* pszText, QWidget* pBuddy)
    {
        auto* pLabel = new QLabel(QString::fromLatin1(pszText), this);
        pLabel->setBuddy(pBuddy);
        return pLabel;
    };
    pLayout->addWidget(m_chkEnabled, 0, 0, 1, 4);
    pLayout->addWidget(label("&Server:", m_edtServer), 1, 0);
    pLayout->addWidget(m_edtServer, 1, 1, 1, 3);
    pLayout->addWidget(label("&Port:", m_edtPort), 2, 0);
    pLayout->addWidget(m_edtPort, 2, 1);
    pLayout->addWidget(m_chkTls, 2, 2, 1, 2);
    pLayout->addWidget(label("&CA file:", m_edtCAFile), 3, 0);
    pLayout->addWidget(m_edtCAFile, 3, 1, 1, 2);
    pLayout->addWidget(m_btnBrowse, 3, 3);
    pLayout->addWidget(label("User&name:", m_edtUsername), 4, 0);
    pLayout->addWidget(m_edtUsername, 4, 1, 1, 3);
    pLayout->addWidget(label("Pass&word:", m_edtPassword), 5, 0);
    pLayout->addWidget(m_edtPassword, 5, 1, 1, 3);
    pLayout->addWidget(label("Conn&ections:", m_edtConnections), 6, 0);
    pLayout->addWidget(m_edtConnections, 6, 1);
    pLayout->addWidget(m_btnTest, 7, 2);
    pLayout->addWidget(m_btnCancelTest, 7, 3);
    pLayout->setRowStretch(8, 1);

    connect(m_chkEnabled, &QCheckBox::clicked, this, [this] { m_bModified = true; });
    connect(m_chkTls, &QCheckBox::toggled, this,
            [this](bool bTls)
            {
                // The usual port of the new choice, unless the user typed one.
                const QString strPort = m_edtPort->text().trimmed();
                if (strPort.isEmpty() ||
                    (!m_bPortTyped && strPort == QString::number(CUsenetSettings::DefaultPort(!bTls))))
                    m_edtPort->setText(QString::number(CUsenetSettings::DefaultPort(bTls)));
                m_bModified = true;
            });
    connect(m_edtPort, &QLineEdit::textEdited, this,
            [this]
            {
                m_bPortTyped = true;
                m_bModified = true;
            });
    for (QLineEdit* pEdit : {m_edtServer, m_edtCAFile, m_edtUsername, m_edtPassword})
        connect(pEdit, &QLineEdit::textEdited, this, [this] { m_bModified = true; });
    connect(m_edtConnections, &QAbstractSpinBox::editingFinished, this, [this] { m_bModified = true; });
    connect(m_btnBrowse, &QPushButton::clicked, this, [this] { OnBrowseCAFile(); });
    connect(m_btnTest, &QPushButton::clicked, this, [this] { OnTestServer(); });
    connect(m_btnCancelTest, &QPushButton::clicked, this, [this] { OnCancelTest(); });
}

CPageUsenet::~CPageUsenet()
{
    if (m_pRun)
    {
        m_pRun->m_bCancel = true;
        m_pRun->m_thread.join();
    }
}

void CPageUsenet::SetControls(const CUsenetSettings& settings)
{
    m_chkEnabled->setChecked(settings.m_bEnabled != 0);
    m_edtServer->setText(QString::fromLocal8Bit(settings.m_strServer.c_str()));
    // The port first: the TLS switch compares it with the usual one.
    m_edtPort->setText(QString::number(settings.m_nPort));
    m_chkTls->blockSignals(true);
    m_chkTls->setChecked(settings.m_bTls != 0);
    m_chkTls->blockSignals(false);
    m_edtCAFile->setText(QString::fromLocal8Bit(settings.m_strCAFile.c_str()));
    m_edtUsername->setText(QString::fromLocal8Bit(settings.m_strUsername.c_str()));
    m_edtPassword->setText(QString::fromLocal8Bit(settings.m_strPassword.c_str()));
    m_edtConnections->SetValue(settings.m_nConnections);
    m_bPortTyped = false;
}

bool CPageUsenet::GetControls(CUsenetSettings& settings)
{
    CUsenetSettings values;
    int32_t nPort = 0;
    int32_t nConnections = 0;
    if (!CUpDownEdit::CheckInt(m_edtPort, m_edtPort->text(), 1, 65535, m_prompts, nPort) ||
        !CUpDownEdit::CheckInt(m_edtConnections, m_edtConnections->text(), CUsenetSettings::kMinConnections,
                               CUsenetSettings::kMaxConnections, m_prompts, nConnections))
        return false;
    values.m_bEnabled = m_chkEnabled->isChecked() ? 1 : 0;
    values.m_strServer = Text(m_edtServer);
    values.m_nPort = nPort;
    values.m_bTls = m_chkTls->isChecked() ? 1 : 0;
    values.m_strCAFile = Text(m_edtCAFile);
    values.m_strUsername = Text(m_edtUsername);
    // A password is taken as typed; the check below refuses outer blanks.
    values.m_strPassword = Text(m_edtPassword, false);
    values.m_nConnections = nConnections;
    const std::string strProblem = values.Validate();
    if (!strProblem.empty())
    {
        m_prompts.ShowMessage(strProblem, PromptIcon::Exclamation);
        return false;
    }
    if (!values.m_strCAFile.empty() && !std::ifstream(values.m_strCAFile))
    {
        m_prompts.ShowMessage(kNoCAFile, PromptIcon::Exclamation);
        m_edtCAFile->setFocus(Qt::OtherFocusReason);
        return false;
    }
    settings = values;
    return true;
}

void CPageUsenet::OnBrowseCAFile()
{
    const QString strFile = m_edtCAFile->text();
    const QString strChosen =
        m_fnChooseFile
            ? m_fnChooseFile(strFile)
            : QFileDialog::getOpenFileName(this, QString(), strFile,
                                           QStringLiteral("Certificates (*.pem *.crt);;All files (*)"));
    if (strChosen.isEmpty())
        return;
    m_edtCAFile->setText(strChosen);
    m_bModified = true;
}

void CPageUsenet::ShowTesting(bool bTesting)
{
    m_btnTest->setEnabled(!bTesting);
    m_btnTest->setText(bTesting ? QStringLiteral("Testing...") : QStringLiteral("Test Ser&ver"));
    m_btnCancelTest->setEnabled(bTesting);
    if (bTesting)
        setCursor(Qt::BusyCursor);
    else
        unsetCursor();
}

void CPageUsenet::OnTestServer()
{
    if (m_pRun)
        return;
    CUsenetSettings settings;
    if (!GetControls(settings))
        return;
    if (settings.m_strServer.empty())
    {
        m_prompts.ShowMessage(kNoServer, PromptIcon::Exclamation);
        m_edtServer->setFocus(Qt::OtherFocusReason);
        return;
    }
    m_pRun = std::make_unique<STestRun>();
    usenet::SServerConfig config = CUsenetGateway::ServerConfig(settings);
    config.m_pCancel = &m_pRun->m_bCancel;
    ShowTesting(true);
    // The window stays live: the answer comes back as a queued call, which
    // Qt drops should the page be gone by then (its destructor waits for
    // the thread first).
    m_pRun->m_thread = std::thread(
        [this, config, settings]
        {
            const usenet::SProbeResult probe = usenet::CNntpPool::Probe(config, settings.m_nConnections);
            QMetaObject::invokeMethod(
                this, [this, probe, settings] { OnTestDone(probe, settings); }, Qt::QueuedConnection);
        });
}

void CPageUsenet::OnCancelTest()
{
    if (!m_pRun)
        return;
    m_pRun->m_bCancel = true;
    m_btnCancelTest->setEnabled(false);
}

void CPageUsenet::OnTestDone(const usenet::SProbeResult& probe, const CUsenetSettings& settings)
{
    if (!m_pRun)
        return;
    m_pRun->m_thread.join();
    const bool bCancelled = m_pRun->m_bCancel.load();
    m_pRun.reset();
    ShowTesting(false);
    // A test the user stopped says nothing more.
    if (!bCancelled)
        m_prompts.ShowMessage(DescribeProbe(probe, settings),
                              probe.Ok() ? PromptIcon::Information : PromptIcon::Exclamation);
    emit testFinished();
}

std::string CPageUsenet::DescribeProbe(const usenet::SProbeResult& probe, const CUsenetSettings& settings)
{
    const std::string strWhere = settings.m_strServer + ":" + std::to_string(settings.m_nPort);
    std::string strText = probe.Ok() ? "The server " + strWhere + " works."
                                     : "The server test failed. " + Cause(probe, strWhere);
    if (probe.m_nGreetingCode != 0)
        strText += "\nGreeting: " + std::to_string(probe.m_nGreetingCode) + " " + probe.m_strGreeting;
    if (probe.m_bTls)
    {
        strText += probe.m_bTlsVerified ? "\nTLS: verified against the name " + probe.m_strTlsName
                                        : std::string("\nTLS: on, not verified");
        if (!probe.m_strTlsVersion.empty())
            strText += " (" + probe.m_strTlsVersion + ")";
    }
    else if (probe.Ok() || probe.m_nGreetingCode != 0)
        strText += "\nTLS: not used";
    if (probe.m_bLoginAccepted)
        strText += "\nLogin: accepted";
    else if (probe.m_bLoginTried || probe.m_nStatus == usenet::ENntpStatus::AuthFailed)
        strText += "\nLogin: not accepted";
    else if (probe.Ok())
        strText += "\nLogin: none asked for";
    if (probe.m_nConnectionsTried > 0)
    {
        strText += "\nConnections: " + std::to_string(probe.m_nConnectionsAllowed) + " of " +
                   std::to_string(probe.m_nConnectionsTried) + " allowed";
        if (probe.m_nConnectionsAllowed < probe.m_nConnectionsTried && !probe.m_strConnectionRefused.empty())
            strText += "; the next one was refused: " + probe.m_strConnectionRefused;
    }
    return strText;
}
