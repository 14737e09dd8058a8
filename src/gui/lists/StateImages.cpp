#include "lists/StateImages.h"

#include <QPainter>
#include <QPainterPath>

const CStateImages& CStateImages::Instance()
{
    static const CStateImages images;
    return images;
}

CStateImages::CStateImages()
{
    for (int i = 0; i < kCount; ++i)
    {
        m_pixmaps[static_cast<size_t>(i)] = Draw(i);
        m_icons[static_cast<size_t>(i)] = QIcon(m_pixmaps[static_cast<size_t>(i)]);
    }
}

const QIcon& CStateImages::Icon(int nState) const
{
    if (nState < 0 || nState >= kCount)
        return m_none;
    return m_icons[static_cast<size_t>(nState)];
}

const QPixmap& CStateImages::Pixmap(int nState) const
{
    if (nState < 0 || nState >= kCount)
        return m_nonePixmap;
    return m_pixmaps[static_cast<size_t>(nState)];
}

QPixmap CStateImages::Draw(int nState)
{
    QPixmap pm(kWidth, kHeight);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing, true);
    const QRectF box(2.5, 2.0, 11.0, 11.0);
    QPen pen(QColor(40, 40, 40), 1.0);
    switch (nState)
    {
    case 0: // queued: a clock face
        p.setPen(pen);
        p.setBrush(QColor(250, 250, 210));
        p.drawEllipse(box);
        p.drawLine(QPointF(8, 7.5), QPointF(8, 4));
        p.drawLine(QPointF(8, 7.5), QPointF(11, 7.5));
        break;
    case 1: // downloading: a green arrow pointing down
    {
        QPainterPath arrow;
        arrow.moveTo(6, 1.5);
        arrow.lineTo(10, 1.5);
        arrow.lineTo(10, 7);
        arrow.lineTo(13.5, 7);
        arrow.lineTo(8, 13.5);
        arrow.lineTo(2.5, 7);
        arrow.lineTo(6, 7);
        arrow.closeSubpath();
        p.setPen(QPen(QColor(0, 90, 0), 1.0));
        p.setBrush(QColor(40, 180, 40));
        p.drawPath(arrow);
        break;
    }
    case 2: // exported: an arrow leaving a box to the right
        p.setPen(pen);
        p.setBrush(Qt::white);
        p.drawRect(QRectF(1.5, 3.5, 8, 8));
        p.setPen(QPen(QColor(0, 70, 170), 2.0));
        p.drawLine(QPointF(5, 7.5), QPointF(13, 7.5));
        p.drawLine(QPointF(10.5, 4.5), QPointF(13.5, 7.5));
        p.drawLine(QPointF(10.5, 10.5), QPointF(13.5, 7.5));
        break;
    case 3: // done: a check mark
        p.setPen(QPen(QColor(0, 130, 0), 2.2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.drawPolyline(QPolygonF({QPointF(3, 8), QPointF(6.5, 11.5), QPointF(13, 3.5)}));
        break;
    case 4: // failed: a red cross
        p.setPen(QPen(QColor(200, 0, 0), 2.2, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(4, 3.5), QPointF(12, 11.5));
        p.drawLine(QPointF(12, 3.5), QPointF(4, 11.5));
        break;
    case 5: // incomplete: a broken (half) disc
        p.setPen(QPen(QColor(150, 90, 0), 1.0));
        p.setBrush(QColor(240, 170, 40));
        p.drawPie(box, 90 * 16, 180 * 16);
        p.setBrush(Qt::NoBrush);
        p.setPen(QPen(QColor(150, 90, 0), 1.0, Qt::DotLine));
        p.drawArc(box, -90 * 16, 180 * 16);
        break;
    case 6: // cancelled: a stop bar
        p.setPen(pen);
        p.setBrush(QColor(230, 150, 0));
        p.drawEllipse(box);
        p.setPen(QPen(Qt::white, 2.0));
        p.drawLine(QPointF(5, 7.5), QPointF(11, 7.5));
        break;
    case 7: // removing: a grey bin
        p.setPen(pen);
        p.setBrush(QColor(170, 170, 170));
        p.drawRect(QRectF(4.5, 4.5, 7, 9));
        p.drawLine(QPointF(3, 3), QPointF(13, 3));
        p.drawLine(QPointF(6.5, 1.5), QPointF(9.5, 1.5));
        break;
    case 8: // shutdown: a pause sign
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(60, 60, 160));
        p.drawRect(QRectF(4, 3, 3, 10));
        p.drawRect(QRectF(9, 3, 3, 10));
        break;
    default:
        break;
    }
    return pm;
}
