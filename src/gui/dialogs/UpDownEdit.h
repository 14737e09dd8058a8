#pragma once

#include <QAbstractSpinBox>

#include <string>

class IPrompts;
class QLineEdit;

// An integer edit with an up-down control: the arrows step within their
// range, but the text is free, so a value outside the range can be typed and
// is refused when the page is confirmed (or, for the account's downloads,
// by "&Add" / "&Update" with their own message).
class CUpDownEdit : public QAbstractSpinBox
{
    Q_OBJECT

public:
    CUpDownEdit(int nMin, int nMax, QWidget* pParent = nullptr);

    QString text() const;
    void setText(const QString& strText);
    void SetValue(int nValue) { setText(QString::number(nValue)); }

    void stepBy(int nSteps) override;
    QValidator::State validate(QString& strInput, int& nPos) const override;

    // The leading integer of a text, as the settings reader takes it (0 when
    // there is none).
    static int LeadingInt(const QString& strText);
    // The whole text as an integer in nMin ... nMax; otherwise shows the
    // standard message, puts the focus into pEdit and returns false.
    static bool CheckInt(QWidget* pEdit, const QString& strText, int nMin, int nMax, IPrompts& prompts,
                         int32_t& nValue);

    static constexpr const char* kIntegerExpected = "Please enter an integer.";

protected:
    StepEnabled stepEnabled() const override;

private:
    int m_nMin;
    int m_nMax;
};
