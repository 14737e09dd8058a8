#pragma once

#include <QDialog>

#include <string>
#include <vector>

class QListWidget;

// "Kill Filter": both kill lists in alphabetical order (case ignored); a
// double-click deletes an entry; OK replaces both lists by the boxes' entries.
class CKillFilterDlg : public QDialog
{
    Q_OBJECT

public:
    CKillFilterDlg(std::vector<std::string>& lstSubjects, std::vector<std::string>& lstAuthors,
                   QWidget* pParent = nullptr);

    QListWidget* AuthorBox() const { return m_lstAuthors; }
    QListWidget* SubjectBox() const { return m_lstSubjects; }

    void accept() override;

private:
    void Fill(QListWidget* pBox, const std::vector<std::string>& entries);
    static void OnDoubleClick(QListWidget* pBox);
    static void TakeEntries(const QListWidget* pBox, std::vector<std::string>& entries);

    std::vector<std::string>& m_lstKillSubjects;
    std::vector<std::string>& m_lstKillAuthors;
    QListWidget* m_lstAuthors = nullptr;
    QListWidget* m_lstSubjects = nullptr;
};
