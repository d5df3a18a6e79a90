#pragma once

#include <QByteArray>
#include <QImage>
#include <QWidget>

// A picture box: shows one picture, scaled down to fit and centred, or nothing.
class PictureBox : public QWidget {
    Q_OBJECT
public:
    explicit PictureBox(QWidget* parent = nullptr);

    QImage Picture() const { return m_picture; }
    void SetPicture(const QImage& picture);
    // The bytes of a picture file; bytes that are no picture show nothing.
    void SetPictureBytes(const QByteArray& bytes);
    void Clear();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QImage m_picture;
    QByteArray m_bytes;
};
