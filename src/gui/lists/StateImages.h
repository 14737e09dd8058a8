#pragma once

#include <QIcon>
#include <QPixmap>

#include <array>

// The nine article-state icons (queued, downloading, exported, done, failed,
// incomplete, cancelled, removing, shutdown), 16 x 15 pixels, drawn once in
// code so both lists share them. A listed article (-1) has none.
class CStateImages
{
public:
    static constexpr int kWidth = 16;
    static constexpr int kHeight = 15;
    static constexpr int kCount = 9;

    static const CStateImages& Instance();
    // The icon of state nState, a null icon for -1 and unknown states.
    const QIcon& Icon(int nState) const;
    const QPixmap& Pixmap(int nState) const;

private:
    CStateImages();
    static QPixmap Draw(int nState);

    std::array<QPixmap, kCount> m_pixmaps;
    std::array<QIcon, kCount> m_icons;
    QIcon m_none;
    QPixmap m_nonePixmap;
};
