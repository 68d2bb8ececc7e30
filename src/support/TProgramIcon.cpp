#include "support/TProgramIcon.h"

#include <QPainter>
#include <QPainterPath>

QPixmap TProgramIcon::Pixmap(int size) {
    QPixmap pm(size, size);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient g(0, 0, size, size);
    g.setColorAt(0, QColor(0x1e, 0x5a, 0xc8));
    g.setColorAt(1, QColor(0x0b, 0x2a, 0x6e));
    p.setBrush(g);
    p.setPen(Qt::NoPen);
    p.drawRoundedRect(QRectF(0, 0, size, size), size * 0.18, size * 0.18);
    QPen pen(Qt::white, size * 0.12, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    p.setPen(pen);
    QPainterPath z;
    z.moveTo(size * 0.25, size * 0.28);
    z.lineTo(size * 0.75, size * 0.28);
    z.lineTo(size * 0.25, size * 0.72);
    z.lineTo(size * 0.75, size * 0.72);
    p.drawPath(z);
    return pm;
}

QIcon TProgramIcon::Icon() {
    QIcon icon;
    for (int s : {16, 32, 48, 64})
        icon.addPixmap(Pixmap(s));
    return icon;
}
