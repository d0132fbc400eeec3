#include "ui/film_surface.h"

#include "session/sjis_text.h"
#include "ui/character_images.h"

#include <QFontMetrics>
#include <QPainter>
#include <QPen>
#include <QPolygon>

#include <string>

TFilmSurface::TFilmSurface(QColor background)
    : m_background(background)
{
}

void TFilmSurface::resize(int width, int height)
{
    m_image = QImage(width, height, QImage::Format_RGB32);
    m_image.fill(m_background);
}

void TFilmSurface::drawImage(const TBMP& image, int x, int y)
{
    const QImage* picture = decodedImage(image);
    if (!picture || m_image.isNull())
        return;
    QPainter painter(&m_image);
    painter.drawImage(x, y, *picture);
}

void TFilmSurface::drawBalloon(int left, int top, int right, int bottom, int cornerWidth, int cornerHeight)
{
    if (m_image.isNull())
        return;
    QPainter painter(&m_image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(Qt::blue, 8));
    painter.setBrush(Qt::white);
    painter.drawRoundedRect(QRectF(left, top, right - left, bottom - top), cornerWidth / 2.0, cornerHeight / 2.0);
}

void TFilmSurface::drawText(int x, int y, std::string_view sjis)
{
    if (m_image.isNull())
        return;
    QPainter painter(&m_image);
    painter.setFont(m_font);
    painter.setPen(Qt::black);
    painter.drawText(x, y + QFontMetrics(m_font).ascent(), fromSjis(std::string(sjis)));
}

void TFilmSurface::drawTail(const TSurfacePoint (&points)[3])
{
    if (m_image.isNull())
        return;
    QPainter painter(&m_image);
    painter.setPen(QPen(Qt::blue, 1));
    painter.setBrush(Qt::blue);
    const QPoint corners[3]
        = { { points[0].x, points[0].y }, { points[1].x, points[1].y }, { points[2].x, points[2].y } };
    painter.drawPolygon(corners, 3);
}

TTextExtent TFilmSurface::measure(std::string_view sjis) const
{
    const QFontMetrics metrics(m_font);
    return { metrics.horizontalAdvance(fromSjis(std::string(sjis))), metrics.height() };
}
