#include "app/ToolbarIcons.h"

#include "app/CommandIds.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace
{
QPixmap Draw(int nId)
{
    QPixmap pm(16, 15);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing, true);
    const QPen dark(QColor(30, 30, 30), 1.0);
    switch (nId)
    {
    case ID_ARTICLE_DOWNLOAD:
    {
        QPainterPath arrow;
        arrow.moveTo(6, 1);
        arrow.lineTo(10, 1);
        arrow.lineTo(10, 6);
        arrow.lineTo(13, 6);
        arrow.lineTo(8, 11);
        arrow.lineTo(3, 6);
        arrow.lineTo(6, 6);
        arrow.closeSubpath();
        p.setPen(QPen(QColor(0, 80, 0), 1.0));
        p.setBrush(QColor(50, 170, 50));
        p.drawPath(arrow);
        p.setPen(dark);
        p.drawLine(QPointF(2, 13.5), QPointF(14, 13.5));
        break;
    }
    case ID_USE_DOWNLOADMANAGER:
        p.setPen(dark);
        p.setBrush(QColor(220, 220, 255));
        p.drawRect(QRectF(1.5, 2.5, 13, 10));
        p.setBrush(QColor(60, 60, 200));
        p.drawRect(QRectF(1.5, 2.5, 13, 2.5));
        p.setPen(QPen(QColor(0, 120, 0), 1.6));
        p.drawLine(QPointF(8, 6.5), QPointF(8, 11));
        p.drawLine(QPointF(5.5, 8.5), QPointF(8, 11));
        p.drawLine(QPointF(10.5, 8.5), QPointF(8, 11));
        break;
    case ID_ARTICLE_HIDEINCOMPLETE:
        p.setPen(QPen(QColor(150, 90, 0), 1.0));
        p.setBrush(QColor(240, 170, 40));
        p.drawPie(QRectF(2, 2, 11, 11), 90 * 16, 180 * 16);
        p.setPen(QPen(QColor(190, 0, 0), 1.8));
        p.drawLine(QPointF(2, 13), QPointF(14, 2));
        break;
    case ID_ARTICLE_FILTER:
    {
        QPainterPath funnel;
        funnel.moveTo(1.5, 2);
        funnel.lineTo(14.5, 2);
        funnel.lineTo(9.5, 8);
        funnel.lineTo(9.5, 13.5);
        funnel.lineTo(6.5, 11.5);
        funnel.lineTo(6.5, 8);
        funnel.closeSubpath();
        p.setPen(dark);
        p.setBrush(QColor(90, 140, 220));
        p.drawPath(funnel);
        break;
    }
    case ID_ARTICLE_FIND:
        p.setPen(QPen(QColor(30, 30, 30), 1.5));
        p.setBrush(QColor(210, 235, 255));
        p.drawEllipse(QRectF(1.5, 1.5, 8.5, 8.5));
        p.setPen(QPen(QColor(30, 30, 30), 2.5, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(9.5, 9.5), QPointF(14, 13.5));
        break;
    case ID_TOOLS_HANGUP:
    {
        p.setPen(dark);
        p.setBrush(QColor(40, 40, 40));
        QPainterPath handset;
        handset.moveTo(1, 9);
        handset.cubicTo(4, 4, 12, 4, 15, 9);
        handset.lineTo(12, 11);
        handset.lineTo(11, 9);
        handset.cubicTo(9, 8, 7, 8, 5, 9);
        handset.lineTo(4, 11);
        handset.closeSubpath();
        p.drawPath(handset);
        p.setPen(QPen(QColor(200, 0, 0), 1.5));
        p.drawLine(QPointF(5, 2), QPointF(11, 6));
        break;
    }
    case ID_TOOLS_POWEROFF:
        p.setPen(QPen(QColor(180, 0, 0), 1.8, Qt::SolidLine, Qt::RoundCap));
        p.drawArc(QRectF(2.5, 2.5, 11, 11), 120 * 16, 300 * 16);
        p.drawLine(QPointF(8, 1.5), QPointF(8, 7.5));
        break;
    case ID_APP_ABOUT:
        p.setPen(dark);
        p.setBrush(QColor(255, 255, 200));
        p.drawEllipse(QRectF(1.5, 1, 13, 13));
        p.setPen(QPen(QColor(0, 0, 160), 2.0, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(8, 6.5), QPointF(8, 11));
        p.drawPoint(QPointF(8, 4));
        break;
    case IDC_UP:
    case IDC_DOWN:
    {
        QPolygonF tri;
        if (nId == IDC_UP)
            tri << QPointF(8, 3) << QPointF(14, 11) << QPointF(2, 11);
        else
            tri << QPointF(2, 4) << QPointF(14, 4) << QPointF(8, 12);
        p.setPen(dark);
        p.setBrush(QColor(40, 40, 40));
        p.drawPolygon(tri);
        break;
    }
    case IDC_PAUSE:
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(40, 40, 40));
        p.drawRect(QRectF(4, 2.5, 3, 10));
        p.drawRect(QRectF(9, 2.5, 3, 10));
        break;
    default:
        break;
    }
    return pm;
}
} // namespace

QIcon CToolbarIcons::Icon(int nId)
{
    return QIcon(Draw(nId));
}
