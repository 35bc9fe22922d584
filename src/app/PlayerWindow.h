#pragma once

#include <QMainWindow>

namespace pgw {

// The Player's single window.
class PlayerWindow : public QMainWindow
{
    Q_OBJECT

public:
    static constexpr QSize contentSize {1180, 820};
    static constexpr QSize minimumContentSize {680, 480};

    explicit PlayerWindow(QWidget *parent = nullptr);
};

} // namespace pgw
