#include "ui/PictureBox.h"

#include <QPainter>

PictureBox::PictureBox(QWidget* parent) : QWidget(parent)
{
    setAutoFillBackground(true);
    setBackgroundRole(QPalette::Base);
}

void PictureBox::SetPicture(const QImage& picture)
{
    m_picture = picture;
    m_bytes.clear();
    update();
}

void PictureBox::SetPictureBytes(const QByteArray& bytes)
{
    // The same bytes arrive again with every notification of the row; decode them once.
    if (!m_bytes.isNull() && bytes == m_bytes)
        return;
    m_picture = bytes.isEmpty() ? QImage() : QImage::fromData(bytes);
    m_bytes = bytes.isNull() ? QByteArray("") : bytes;
    update();
}

void PictureBox::Clear()
{
    m_picture = QImage();
    m_bytes.clear();
    update();
}

void PictureBox::paintEvent(QPaintEvent* event)
{
    QWidget::paintEvent(event);
    if (m_picture.isNull())
        return;
    QPainter painter(this);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    QSize size = m_picture.size();
    if (size.width() > width() || size.height() > height())
        size.scale(this->size(), Qt::KeepAspectRatio);
    const QRect target(QPoint((width() - size.width()) / 2, (height() - size.height()) / 2), size);
    painter.drawImage(target, m_picture);
}
