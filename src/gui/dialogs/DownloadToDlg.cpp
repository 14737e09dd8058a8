#include "dialogs/DownloadToDlg.h"

#include "ui/Prompts.h"

#include <QDialogButtonBox>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include <cerrno>
#include <sys/stat.h>

namespace
{
constexpr int kMaxPath = 255;
constexpr const char* kCreateFailed = "Failed to create directory!";

std::string Trim(const std::string& strText)
{
    const char* pszBlanks = " \t\r\n\f\v";
    const size_t nFirst = strText.find_first_not_of(pszBlanks);
    if (nFirst == std::string::npos)
        return std::string();
    return strText.substr(nFirst, strText.find_last_not_of(pszBlanks) - nFirst + 1);
}

bool IsDirectory(const std::string& strPath)
{
    struct stat st{};
    return ::stat(strPath.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}
} // namespace

CDownloadToDlg::CDownloadToDlg(IPrompts& prompts, QWidget* pParent) : QDialog(pParent), m_prompts(prompts)
{
    setWindowTitle(QStringLiteral("Download to"));
    auto* pLabel = new QLabel(QStringLiteral("&Path:"), this);
    m_edtPath = new QLineEdit(this);
    m_edtPath->setMaxLength(kMaxPath);
    m_edtPath->setMinimumWidth(300);
    pLabel->setBuddy(m_edtPath);
    m_btnBrowse = new QPushButton(QStringLiteral("&Browse..."), this);
    auto* pButtons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);

    auto* pRow = new QHBoxLayout;
    pRow->addWidget(pLabel);
    pRow->addWidget(m_edtPath, 1);
    pRow->addWidget(m_btnBrowse);
    auto* pLayout = new QVBoxLayout(this);
    pLayout->addLayout(pRow);
    pLayout->addWidget(pButtons);

    connect(m_btnBrowse, &QPushButton::clicked, this, &CDownloadToDlg::OnBrowse);
    connect(pButtons, &QDialogButtonBox::accepted, this,
            [this]
            {
                if (OnOK())
                    accept();
            });
    connect(pButtons, &QDialogButtonBox::rejected, this, &QDialog::reject);
}

void CDownloadToDlg::UpdateData()
{
    m_edtPath->setText(QString::fromLocal8Bit(m_strFolder).left(kMaxPath));
}

int CDownloadToDlg::exec()
{
    UpdateData();
    return QDialog::exec();
}

QString CDownloadToDlg::BrowseStartFolder() const
{
    QString strText = m_edtPath->text();
    if (strText.endsWith(QLatin1Char('/')))
        strText.chop(1);
    return strText;
}

void CDownloadToDlg::OnBrowse()
{
    const QString strPicked = QFileDialog::getExistingDirectory(
        this, QString(), BrowseStartFolder(), QFileDialog::ShowDirsOnly | QFileDialog::DontResolveSymlinks);
    if (!strPicked.isEmpty())
        m_edtPath->setText(strPicked);
}

bool CDownloadToDlg::OnOK()
{
    std::string strFolder = Trim(m_edtPath->text().toLocal8Bit().toStdString());
    if (strFolder.empty() || strFolder.back() != '/')
        strFolder += '/';
    m_strFolder = strFolder;
    // The existence test looks at the folder itself; the process's current
    // folder is never changed (other threads resolve paths against it).
    if (IsDirectory(strFolder))
        return true;
    if (!m_prompts.AskYesNo("'" + strFolder + "' does not exist.\nDo you want to create it?",
                            PromptIcon::Exclamation))
        return false;
    // One level only: a missing parent is a failure, as is a name the file
    // system refuses.
    if (::mkdir(strFolder.c_str(), 0777) != 0 && !(errno == EEXIST && IsDirectory(strFolder)))
    {
        m_prompts.ShowMessage(kCreateFailed, PromptIcon::Exclamation);
        return false;
    }
    return true;
}
