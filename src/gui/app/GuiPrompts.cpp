#include "app/GuiPrompts.h"

#include <QMessageBox>
#include <QString>

namespace
{
QMessageBox::Icon ToIcon(PromptIcon nIcon)
{
    switch (nIcon)
    {
    case PromptIcon::Question:
        return QMessageBox::Question;
    case PromptIcon::Exclamation:
        return QMessageBox::Warning;
    case PromptIcon::Information:
        return QMessageBox::Information;
    case PromptIcon::Error:
        return QMessageBox::Critical;
    case PromptIcon::None:
    default:
        return QMessageBox::NoIcon;
    }
}

// The texts keep the CR LF of their origin; a message box wants LF only.
QString BoxText(const std::string& strText)
{
    QString str = QString::fromLocal8Bit(strText);
    str.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    return str;
}
} // namespace

bool CGuiPrompts::AskYesNo(const std::string& strText, PromptIcon nIcon)
{
    QMessageBox box(ToIcon(nIcon), QStringLiteral("Dravelin"), BoxText(strText),
                    QMessageBox::Yes | QMessageBox::No, m_pParent);
    box.setDefaultButton(QMessageBox::Yes);
    return box.exec() == QMessageBox::Yes;
}

void CGuiPrompts::ShowMessage(const std::string& strText, PromptIcon nIcon)
{
    QMessageBox box(ToIcon(nIcon), QStringLiteral("Dravelin"), BoxText(strText), QMessageBox::Ok, m_pParent);
    box.exec();
}
