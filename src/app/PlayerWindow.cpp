#include "app/PlayerWindow.h"

#include <QLabel>
#include <QPalette>

using namespace Qt::StringLiterals;

namespace pgw {

PlayerWindow::PlayerWindow(QWidget *parent)
    : QMainWindow(parent)
{
    setWindowTitle(u"Pagewright Player"_s);
    setMinimumSize(minimumContentSize);
    resize(contentSize);

    // The stand is dark so it does not glare on stage.
    QPalette dark = palette();
    dark.setColor(QPalette::Window, QColor(0x12, 0x12, 0x14));
    dark.setColor(QPalette::WindowText, QColor(0xd8, 0xd8, 0xdc));
    setPalette(dark);
    setAutoFillBackground(true);

    auto *placeholder = new QLabel(u"Pagewright Player"_s, this);
    placeholder->setObjectName(u"placeholder"_s);
    placeholder->setAlignment(Qt::AlignCenter);
    setCentralWidget(placeholder);
}

} // namespace pgw
