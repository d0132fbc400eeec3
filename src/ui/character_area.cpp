#include "ui/character_area.h"

#include "ui/character_player.h"

#include <QMouseEvent>
#include <QPainter>

TCharacterArea::TCharacterArea(QWidget* parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("pnlClient"));
    setAutoFillBackground(true);
    QPalette white = palette();
    white.setColor(QPalette::Window, Qt::white);
    setPalette(white);
}

TCharacterArea::~TCharacterArea() = default;

void TCharacterArea::startPlayer()
{
    m_player = std::make_unique<TCharacterPlayer>(Qt::white);
    m_player->player().SetDrawCallback([this](IFilmSurface* surface) {
        m_surfaceShown = surface != nullptr;
        update();
    });
}

void TCharacterArea::stopPlayer()
{
    m_player.reset();
    m_surfaceShown = false;
}

bool TCharacterArea::load(const std::string& path, const QFont& font)
{
    if (!m_player || !m_player->load(path, font))
        return false;
    setMinimumSize(QSize(m_player->player().SurfaceWidth(), m_player->player().SurfaceHeight()));
    return true;
}

void TCharacterArea::postEvent(TFilmEvent event)
{
    if (m_player)
        m_player->postEvent(event);
}

void TCharacterArea::layoutList()
{
    if (!m_list || !m_player || m_player->player().PictureWidth() <= 0)
        return;
    const int left = m_player->player().PictureWidth();
    const int listWidth = width() - left;
    const int listHeight = height() - ListTopOffset;
    if (listWidth > 0 && listHeight > 0) {
        m_list->setGeometry(left, ListTopOffset, listWidth, listHeight);
        m_list->show();
    } else {
        m_list->hide();
    }
}

void TCharacterArea::paintEvent(QPaintEvent*)
{
    if (!m_player || !m_surfaceShown)
        return;
    QPainter painter(this);
    painter.drawImage(0, 0, m_player->surface().image());
}

void TCharacterArea::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton && m_player) {
        const QPoint at = event->position().toPoint();
        m_player->player().Click(at.x(), at.y(), m_running);
    }
}

void TCharacterArea::mouseDoubleClickEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton && m_player)
        m_player->player().DoubleClick();
}

void TCharacterArea::resizeEvent(QResizeEvent*)
{
    layoutList();
}
