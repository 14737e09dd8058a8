#pragma once

#include <QDialog>

// "About Dravelin": the icon, the version line and the maker's lines, OK.
class CAboutDlg : public QDialog
{
    Q_OBJECT

public:
    static constexpr const char* kVersionText = "Dravelin 2.0.7 Beta 2 build 807";

    explicit CAboutDlg(QWidget* pParent = nullptr);
};
