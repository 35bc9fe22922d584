// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QImage>
#include <QWidget>

namespace pgw {

class DesktopInkView;
class PrivateAnnotationCanvasView;

// One page on the stage: the base image, the marks over it, the Host's live ink and the musician's
// private ink, each filling the surface. Images are copies already scaled to about the surface's device
// pixels, so a paint is a plain copy.
class DesktopPageSurface : public QWidget
{
    Q_OBJECT

public:
    // Orange, 3 pixels on screen at any magnification.
    static inline const QColor indicatorColor = QColor::fromRgbF(1.0f, 0.66f, 0.12f, 0.96f);
    static constexpr int indicatorWidth = 3;

    explicit DesktopPageSurface(QWidget *parent = nullptr);

    QString pageKey;
    int ordinal = 0;
    double aspectRatio = 1.0;
    // The image requests whose answers the surface shows or waits for.
    QString baseRequest;
    QString marksRequest;

    bool hostActive() const { return m_hostActive; }
    void setHostActive(bool on);
    const QImage &baseImage() const { return m_base; }
    void setImages(const QImage &base, const QImage &marks);
    void setBaseImage(const QImage &image);
    void setMarksImage(const QImage &image);
    // The size, in device pixels, images should have to be drawn one to one.
    QSize devicePixelSize() const;

    DesktopInkView *inkView() const { return m_ink; }
    PrivateAnnotationCanvasView *canvas() const { return m_canvas; }

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    QImage m_base;
    QImage m_marks;
    bool m_hostActive = false;
    DesktopInkView *m_ink;
    PrivateAnnotationCanvasView *m_canvas;
};

} // namespace pgw
