#include "dialogs/AboutDlg.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QStyle>

CAboutDlg::CAboutDlg(QWidget* pParent) : QDialog(pParent)
{
    setWindowTitle(QStringLiteral("About Dravelin"));
    setObjectName(QStringLiteral("AboutDlg"));
    auto* pLayout = new QGridLayout(this);
    auto* pIcon = new QLabel(this);
    const QIcon icon = QApplication::windowIcon().isNull() ? style()->standardIcon(QStyle::SP_ComputerIcon)
                                                           : QApplication::windowIcon();
    pIcon->setPixmap(icon.pixmap(32, 32));
    pLayout->addWidget(pIcon, 0, 0, 4, 1, Qt::AlignTop);
    auto* pVersion = new QLabel(QString::fromLatin1(kVersionText), this);
    pVersion->setObjectName(QStringLiteral("VersionText"));
    pLayout->addWidget(pVersion, 0, 1);
    pLayout->addWidget(new QLabel(QStringLiteral("A client for web-based Usenet gateways."), this), 1, 1);
    pLayout->addWidget(new QLabel(QStringLiteral("Linux edition, Qt Widgets and libcurl."), this), 2, 1);
    pLayout->addWidget(new QLabel(QStringLiteral("Copyright \u00a9 the Dravelin developers"), this), 3, 1);
    auto* pButtons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    connect(pButtons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    pLayout->addWidget(pButtons, 0, 2, 1, 1, Qt::AlignTop);
    setFixedSize(sizeHint());
}
