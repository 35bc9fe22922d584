#include "app/PlayerWindow.h"
#include "app/TerminationSignals.h"

#include <QApplication>

using namespace Qt::StringLiterals;

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setOrganizationName(u"Pagewright"_s);
    QApplication::setApplicationName(u"Pagewright Player"_s);
    QApplication::setApplicationVersion(QStringLiteral(PGW_VERSION));
    QApplication::setDesktopFileName(u"pagewright-player"_s);

    pgw::PlayerWindow window;
    window.show();
    pgw::TerminationSignals termination;
    QObject::connect(&termination, &pgw::TerminationSignals::terminationRequested, &window, &QWidget::close);
    return app.exec();
}
