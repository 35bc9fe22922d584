#pragma once

#include <QMainWindow>

class QStackedWidget;

namespace pgw {

class AppController;
class Scheduler;
class StageView;

// The Player's single window.
class PlayerWindow : public QMainWindow
{
    Q_OBJECT

public:
    static constexpr QSize contentSize {1180, 820};
    static constexpr QSize minimumContentSize {680, 480};

    explicit PlayerWindow(QWidget *parent = nullptr);

    // Shows the stage whenever a show runs.
    void attach(AppController &controller, Scheduler &main);
    StageView *stage() const { return m_stage; }

private:
    QStackedWidget *m_screens;
    StageView *m_stage = nullptr;
};

} // namespace pgw
