#include "dialogs/UpDownEdit.h"

#include "ui/Prompts.h"

#include <QLineEdit>

#include <algorithm>
#include <cstdlib>

CUpDownEdit::CUpDownEdit(int nMin, int nMax, QWidget* pParent)
    : QAbstractSpinBox(pParent), m_nMin(nMin), m_nMax(nMax)
{
    setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    setCorrectionMode(QAbstractSpinBox::CorrectToPreviousValue);
    setKeyboardTracking(true);
}

QString CUpDownEdit::text() const
{
    return lineEdit()->text();
}

void CUpDownEdit::setText(const QString& strText)
{
    lineEdit()->setText(strText);
}

void CUpDownEdit::stepBy(int nSteps)
{
    const int nValue = std::clamp(LeadingInt(text()) + nSteps, m_nMin, m_nMax);
    SetValue(nValue);
}

QValidator::State CUpDownEdit::validate(QString&, int&) const
{
    return QValidator::Acceptable;
}

QAbstractSpinBox::StepEnabled CUpDownEdit::stepEnabled() const
{
    const int nValue = LeadingInt(text());
    StepEnabled steps = StepNone;
    if (nValue < m_nMax)
        steps |= StepUpEnabled;
    if (nValue > m_nMin)
        steps |= StepDownEnabled;
    return steps;
}

int CUpDownEdit::LeadingInt(const QString& strText)
{
    const std::string str = strText.trimmed().toStdString();
    return static_cast<int>(std::strtol(str.c_str(), nullptr, 10));
}

bool CUpDownEdit::CheckInt(QWidget* pEdit, const QString& strText, int nMin, int nMax, IPrompts& prompts,
                           int32_t& nValue)
{
    bool bOk = false;
    const qlonglong n = strText.trimmed().toLongLong(&bOk);
    if (!bOk)
    {
        prompts.ShowMessage(kIntegerExpected, PromptIcon::Exclamation);
    }
    else if (n < nMin || n > nMax)
    {
        prompts.ShowMessage("Please enter an integer between " + std::to_string(nMin) + " and " +
                                std::to_string(nMax) + ".",
                            PromptIcon::Exclamation);
        bOk = false;
    }
    if (!bOk)
    {
        if (pEdit)
            pEdit->setFocus(Qt::OtherFocusReason);
        return false;
    }
    nValue = static_cast<int32_t>(n);
    return true;
}
