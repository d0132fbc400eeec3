#include "ui/menu_images.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QPolygonF>

#include <cmath>
#include <functional>
#include <numbers>

namespace {

// Every picture is drawn on a 16 x 16 grid and scaled, so 16 and 24 pixels come from one drawing.
constexpr double Grid = 16.0;

const QColor Outline(0x30, 0x30, 0x30);
const QColor Blue(0x2f, 0x7c, 0xd8);
const QColor DarkBlue(0x1d, 0x4e, 0x94);
const QColor Green(0x2e, 0xa0, 0x43);
const QColor Red(0xd8, 0x30, 0x30);
const QColor Orange(0xf0, 0x8c, 0x10);
const QColor Paper(0xff, 0xff, 0xff);

QPen pen(const QColor& color, double width = 1.0)
{
    QPen p(color, width);
    p.setJoinStyle(Qt::RoundJoin);
    p.setCapStyle(Qt::RoundCap);
    return p;
}

void page(QPainter& p, double left, double top, double right, double bottom, bool lines)
{
    const double fold = 3.0;
    QPolygonF sheet;
    sheet << QPointF(left, top) << QPointF(right - fold, top) << QPointF(right, top + fold) << QPointF(right, bottom)
          << QPointF(left, bottom);
    p.setPen(pen(Outline, 0.9));
    p.setBrush(Paper);
    p.drawPolygon(sheet);
    p.drawPolyline(
        QPolygonF() << QPointF(right - fold, top) << QPointF(right - fold, top + fold) << QPointF(right, top + fold));
    if (lines) {
        p.setPen(pen(QColor(0x90, 0x9c, 0xb0), 0.9));
        for (double y = top + 4.0; y < bottom - 1.0; y += 2.2)
            p.drawLine(QPointF(left + 2.0, y), QPointF(right - 2.0, y));
    }
}

void globe(QPainter& p, QPointF centre, double radius)
{
    p.setPen(pen(DarkBlue, 0.9));
    p.setBrush(Blue);
    p.drawEllipse(centre, radius, radius);
    p.setPen(pen(Paper, 0.8));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(centre, radius * 0.45, radius);
    p.drawLine(QPointF(centre.x() - radius, centre.y()), QPointF(centre.x() + radius, centre.y()));
    p.drawLine(QPointF(centre.x(), centre.y() - radius), QPointF(centre.x(), centre.y() + radius));
    const double h = radius * 0.5;
    const double w = radius * 0.86;
    p.drawLine(QPointF(centre.x() - w, centre.y() - h), QPointF(centre.x() + w, centre.y() - h));
    p.drawLine(QPointF(centre.x() - w, centre.y() + h), QPointF(centre.x() + w, centre.y() + h));
}

void clipboard(QPainter& p)
{
    p.setPen(pen(QColor(0x6b, 0x46, 0x1e), 0.9));
    p.setBrush(QColor(0xc4, 0x8a, 0x4a));
    p.drawRoundedRect(QRectF(2.5, 2.0, 11.0, 13.0), 1.2, 1.2);
    p.setBrush(Paper);
    p.setPen(pen(QColor(0x80, 0x80, 0x80), 0.7));
    p.drawRect(QRectF(4.0, 4.0, 8.0, 9.5));
    p.setPen(pen(Outline, 0.8));
    p.setBrush(QColor(0xb0, 0xb0, 0xb0));
    p.drawRoundedRect(QRectF(5.5, 1.0, 5.0, 2.5), 0.8, 0.8);
}

// An arrow along a vertical line, pointing up or down, with its shaft from `from` to the tip `to`.
void arrow(QPainter& p, QPointF from, QPointF to, const QColor& color, double width)
{
    const double dir = to.y() < from.y() ? -1.0 : 1.0;
    const double head = width * 1.1;
    QPolygonF shape;
    shape << QPointF(to.x(), to.y()) << QPointF(to.x() + head, to.y() - dir * head)
          << QPointF(to.x() + width / 2, to.y() - dir * head) << QPointF(to.x() + width / 2, from.y())
          << QPointF(to.x() - width / 2, from.y()) << QPointF(to.x() - width / 2, to.y() - dir * head)
          << QPointF(to.x() - head, to.y() - dir * head);
    p.setPen(pen(color.darker(150), 0.9));
    p.setBrush(color);
    p.drawPolygon(shape);
}

void badge(QPainter& p, const QColor& fill)
{
    p.setPen(pen(fill.darker(150), 0.9));
    p.setBrush(fill);
    p.drawEllipse(QPointF(8, 8), 6.5, 6.5);
}

void draw(QPainter& p, int index)
{
    switch (index) {
    case 0: { // open an items file: an open folder
        p.setPen(pen(QColor(0x8a, 0x64, 0x14), 0.9));
        p.setBrush(QColor(0xe0, 0xa8, 0x30));
        p.drawPolygon(QPolygonF() << QPointF(1.5, 3.5) << QPointF(6, 3.5) << QPointF(7.5, 5) << QPointF(13.5, 5)
                                  << QPointF(13.5, 13.5) << QPointF(1.5, 13.5));
        p.setBrush(QColor(0xfa, 0xd8, 0x70));
        p.drawPolygon(
            QPolygonF() << QPointF(4, 7.5) << QPointF(15.2, 7.5) << QPointF(13.2, 13.5) << QPointF(1.5, 13.5));
        break;
    }
    case 1: // save the items: a diskette
        p.setPen(pen(DarkBlue.darker(120), 0.9));
        p.setBrush(DarkBlue);
        p.drawRoundedRect(QRectF(2, 2, 12, 12), 1.2, 1.2);
        p.setBrush(Paper);
        p.setPen(pen(QColor(0x90, 0x90, 0x90), 0.6));
        p.drawRect(QRectF(4, 2.5, 8, 5));
        p.setBrush(QColor(0xc8, 0xc8, 0xc8));
        p.drawRect(QRectF(5, 10, 6, 4));
        p.setBrush(DarkBlue);
        p.drawRect(QRectF(6, 10.8, 1.6, 2.4));
        break;
    case 2: // open in the browser: the globe
        globe(p, QPointF(8, 8), 6.5);
        break;
    case 3: // the list in the browser: a list page with a small globe
        page(p, 1.5, 1, 11.5, 15, true);
        globe(p, QPointF(11, 11), 4.2);
        break;
    case 4: { // new: a sheet with a spark
        page(p, 2.5, 2, 12.5, 15, false);
        p.setPen(pen(Orange.darker(130), 0.7));
        p.setBrush(QColor(0xff, 0xd0, 0x20));
        QPolygonF star;
        for (int i = 0; i < 10; ++i) {
            const double r = (i % 2 == 0) ? 4.2 : 1.7;
            const double a = -std::numbers::pi / 2 + i * std::numbers::pi / 5;
            star << QPointF(11.5 + r * std::cos(a), 4.5 + r * std::sin(a));
        }
        p.drawPolygon(star);
        break;
    }
    case 5: // change: a sheet with a pencil
        page(p, 1.5, 1, 11.5, 14, true);
        p.save();
        p.translate(11, 9);
        p.rotate(45);
        p.setPen(pen(QColor(0x80, 0x50, 0x10), 0.7));
        p.setBrush(QColor(0xf4, 0xc0, 0x30));
        p.drawRect(QRectF(-1.6, -7, 3.2, 9));
        p.setBrush(QColor(0xf0, 0xb0, 0xa0));
        p.drawRect(QRectF(-1.6, -8.5, 3.2, 1.5));
        p.setBrush(QColor(0xf8, 0xe0, 0xb8));
        p.drawPolygon(QPolygonF() << QPointF(-1.6, 2) << QPointF(1.6, 2) << QPointF(0, 5));
        p.restore();
        break;
    case 6: // delete: a red cross
        p.setPen(pen(Red.darker(140), 4.2));
        p.drawLine(QPointF(3.5, 3.5), QPointF(12.5, 12.5));
        p.drawLine(QPointF(12.5, 3.5), QPointF(3.5, 12.5));
        p.setPen(pen(Red, 2.6));
        p.drawLine(QPointF(3.5, 3.5), QPointF(12.5, 12.5));
        p.drawLine(QPointF(12.5, 3.5), QPointF(3.5, 12.5));
        break;
    case 7: // copy the URL to the clipboard: an arrow going in
        clipboard(p);
        arrow(p, QPointF(8, 4.5), QPointF(8, 12.5), Green, 3.0);
        break;
    case 8: // take the URL from the clipboard: an arrow coming out
        clipboard(p);
        arrow(p, QPointF(8, 13), QPointF(8, 5), Blue, 3.0);
        break;
    case 9: // up
        arrow(p, QPointF(8, 14.5), QPointF(8, 1.5), Green, 5.0);
        break;
    case 10: // down
        arrow(p, QPointF(8, 1.5), QPointF(8, 14.5), Green, 5.0);
        break;
    case 11: // run the check: play
        p.setPen(pen(Green.darker(150), 1.0));
        p.setBrush(Green);
        p.drawPolygon(QPolygonF() << QPointF(3.5, 2) << QPointF(14, 8) << QPointF(3.5, 14));
        break;
    case 12: // stop
        p.setPen(pen(Red.darker(150), 1.0));
        p.setBrush(Red);
        p.drawRoundedRect(QRectF(2.5, 2.5, 11, 11), 1.5, 1.5);
        break;
    case 13: // initial state: an empty ring
        p.setPen(pen(QColor(0x70, 0x70, 0x70), 1.6));
        p.setBrush(QColor(0xf0, 0xf0, 0xf0));
        p.drawEllipse(QPointF(8, 8), 5.8, 5.8);
        break;
    case 14: // no update: a tick
        badge(p, Green);
        p.setPen(pen(Paper, 2.0));
        p.drawPolyline(QPolygonF() << QPointF(4.8, 8.3) << QPointF(7.2, 10.8) << QPointF(11.4, 5.4));
        break;
    case 15: // updated: an exclamation mark
        badge(p, Orange);
        p.setPen(pen(Paper, 2.2));
        p.drawLine(QPointF(8, 4.2), QPointF(8, 9));
        p.drawPoint(QPointF(8, 11.8));
        break;
    case 16: // error: a cross
        badge(p, Red);
        p.setPen(pen(Paper, 2.0));
        p.drawLine(QPointF(5.4, 5.4), QPointF(10.6, 10.6));
        p.drawLine(QPointF(10.6, 5.4), QPointF(5.4, 10.6));
        break;
    case 17: // the changes: a page with a removed line in red and an added one in green
        page(p, 2.5, 1, 13.5, 15, false);
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(0xff, 0xc8, 0xc4));
        p.drawRect(QRectF(4, 4, 7.5, 2.6));
        p.setBrush(QColor(0xbf, 0xf0, 0xc8));
        p.drawRect(QRectF(4, 8, 7.5, 2.6));
        p.setPen(pen(Red, 0.9));
        p.drawLine(QPointF(4.5, 5.3), QPointF(11, 5.3));
        p.setPen(pen(Green, 1.2));
        p.drawLine(QPointF(4.5, 9.3), QPointF(9, 9.3));
        p.setPen(pen(QColor(0x90, 0x9c, 0xb0), 0.9));
        p.drawLine(QPointF(4.5, 12.5), QPointF(11, 12.5));
        break;
    default:
        break;
    }
}

QPixmap render(int size, const std::function<void(QPainter&)>& paint)
{
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / Grid, size / Grid);
    paint(p);
    return pixmap;
}

QIcon icon(const std::function<void(QPainter&)>& paint)
{
    QIcon result;
    for (int size : { 16, 24, 32 })
        result.addPixmap(render(size, paint));
    return result;
}

} // namespace

QPixmap drawMenuImage(int index, int size)
{
    return render(size, [index](QPainter& p) { draw(p, index); });
}

std::vector<QIcon> menuImages()
{
    std::vector<QIcon> images;
    images.reserve(MenuImageCount);
    for (int i = 0; i < MenuImageCount; ++i)
        images.push_back(icon([i](QPainter& p) { draw(p, i); }));
    return images;
}

std::vector<QIcon> statusImages()
{
    std::vector<QIcon> images;
    images.reserve(StatusImageCount);
    for (int i = 0; i < StatusImageCount; ++i)
        images.push_back(icon([i](QPainter& p) { draw(p, 13 + i); }));
    return images;
}

QIcon applicationIcon()
{
    QIcon result;
    for (int size : { 16, 24, 32, 48, 64 }) {
        result.addPixmap(render(size, [](QPainter& p) {
            p.setPen(Qt::NoPen);
            p.setBrush(DarkBlue);
            p.drawRoundedRect(QRectF(0.5, 0.5, 15, 15), 3, 3);
            globe(p, QPointF(7, 8.5), 5.5);
            p.setPen(pen(Paper, 0.8));
            p.setBrush(Orange);
            p.drawEllipse(QPointF(12.2, 3.8), 2.6, 2.6);
        }));
    }
    return result;
}
