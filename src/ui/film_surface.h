#pragma once

#include "character/film_player.h"

#include <QColor>
#include <QFont>
#include <QImage>

// The player's drawing surface as a Qt image, and the balloon font that measures and draws its text.
class TFilmSurface : public IFilmSurface, public ITextMeasure
{
public:
    explicit TFilmSurface(QColor background = Qt::white);

    void setFont(const QFont& font) { m_font = font; }
    const QFont& font() const { return m_font; }
    const QImage& image() const { return m_image; }

    void resize(int width, int height) override;
    void drawImage(const TBMP& image, int x, int y) override;
    void drawBalloon(int left, int top, int right, int bottom, int cornerWidth, int cornerHeight) override;
    void drawText(int x, int y, std::string_view sjis) override;
    void drawTail(const TSurfacePoint (&points)[3]) override;

    TTextExtent measure(std::string_view sjis) const override;

private:
    QImage m_image;
    QFont m_font;
    QColor m_background;
};
