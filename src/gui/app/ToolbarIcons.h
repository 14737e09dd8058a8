#pragma once

#include <QIcon>

// The toolbar's 16 x 15 button images, drawn in code so the program carries
// no bitmap files: download, download manager, hide incomplete, filter, find,
// hang up, power off, about; also the view's Up, Down and Pause buttons.
class CToolbarIcons
{
public:
    static QIcon Icon(int nId);
};
