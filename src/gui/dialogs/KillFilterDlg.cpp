#include "dialogs/KillFilterDlg.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>

namespace
{
// A sorted list box: the order is alphabetical with case ignored, as the
// platform's sorted list boxes keep it; equal texts keep their byte order so
// the order is the same at every run.
class CSortedItem : public QListWidgetItem
{
public:
    using QListWidgetItem::QListWidgetItem;
    bool operator<(const QListWidgetItem& other) const override
    {
        const QString strMine = text();
        const QString strOther = other.text();
        const int nCompare = strMine.compare(strOther, Qt::CaseInsensitive);
        return nCompare != 0 ? nCompare < 0 : strMine < strOther;
    }
};
} // namespace

CKillFilterDlg::CKillFilterDlg(std::vector<std::string>& lstSubjects, std::vector<std::string>& lstAuthors,
                               QWidget* pParent)
    : QDialog(pParent), m_lstKillSubjects(lstSubjects), m_lstKillAuthors(lstAuthors)
{
    setWindowTitle(QStringLiteral("Kill Filter"));
    auto* pLayout = new QGridLayout(this);
    m_lstAuthors = new QListWidget(this);
    m_lstAuthors->setObjectName(QStringLiteral("Authors"));
    m_lstSubjects = new QListWidget(this);
    m_lstSubjects->setObjectName(QStringLiteral("Subjects"));
    auto* pButtons = new QDialogButtonBox(Qt::Vertical, this);
    pButtons->addButton(QStringLiteral("OK"), QDialogButtonBox::AcceptRole)->setDefault(true);
    pButtons->addButton(QStringLiteral("Cancel"), QDialogButtonBox::RejectRole);
    connect(pButtons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(pButtons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    pLayout->addWidget(new QLabel(QStringLiteral("Author:"), this), 0, 0);
    pLayout->addWidget(m_lstAuthors, 1, 0);
    pLayout->addWidget(new QLabel(QStringLiteral("Subject:"), this), 2, 0);
    pLayout->addWidget(m_lstSubjects, 3, 0);
    pLayout->addWidget(pButtons, 0, 1, 4, 1);

    for (QListWidget* pBox : {m_lstAuthors, m_lstSubjects})
    {
        pBox->setSelectionMode(QAbstractItemView::SingleSelection);
        connect(pBox, &QListWidget::itemDoubleClicked, this, [pBox] { OnDoubleClick(pBox); });
    }
    Fill(m_lstAuthors, m_lstKillAuthors);
    Fill(m_lstSubjects, m_lstKillSubjects);
}

void CKillFilterDlg::Fill(QListWidget* pBox, const std::vector<std::string>& entries)
{
    for (const std::string& strEntry : entries)
        pBox->addItem(new CSortedItem(QString::fromLocal8Bit(strEntry.c_str())));
    pBox->sortItems();
}

void CKillFilterDlg::OnDoubleClick(QListWidget* pBox)
{
    // The entry that holds the selection goes.
    const int nRow = pBox->currentRow();
    if (nRow >= 0 && pBox->item(nRow)->isSelected())
        delete pBox->takeItem(nRow);
}

void CKillFilterDlg::TakeEntries(const QListWidget* pBox, std::vector<std::string>& entries)
{
    entries.clear();
    for (int i = 0; i < pBox->count(); ++i)
        entries.push_back(pBox->item(i)->text().toLocal8Bit().toStdString());
}

void CKillFilterDlg::accept()
{
    TakeEntries(m_lstAuthors, m_lstKillAuthors);
    TakeEntries(m_lstSubjects, m_lstKillSubjects);
    QDialog::accept();
}
