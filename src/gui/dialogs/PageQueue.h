#pragma once

#include <QWidget>

class CPreferences;
class QButtonGroup;
class QCheckBox;

// "Queue": hand the queue to a download manager, and keep it across runs.
class CPageQueue : public QWidget
{
    Q_OBJECT

public:
    explicit CPageQueue(QWidget* pParent = nullptr);

    void SetControls(const CPreferences& prefs);
    void GetControls(CPreferences& prefs) const;

    QCheckBox* UseManagerCheck() const { return m_chkDoNotQueue; }
    QButtonGroup* ManagerGroup() const { return m_grpManager; }
    QCheckBox* LoadQueueCheck() const { return m_chkLoadQueue; }
    QCheckBox* OriginalCheck() const { return m_chkLoadOriginal; }

    bool m_bModified = false;

private:
    void UpdateEnabling();

    QCheckBox* m_chkDoNotQueue = nullptr;
    QButtonGroup* m_grpManager = nullptr;
    QCheckBox* m_chkSaveQueue = nullptr;
    QCheckBox* m_chkLoadQueue = nullptr;
    QCheckBox* m_chkLoadOriginal = nullptr;
};
