// SPDX-License-Identifier: GPL-3.0-or-later
#include "LinkProbe.h"

#include <QCoreApplication>
#include <QTextStream>

using namespace pgw::probe;

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    auto parsed = LinkProbe::parse(app.arguments());
    if (auto *problem = std::get_if<QString>(&parsed)) {
        QTextStream(stderr) << "pgw-probe: " << *problem << '\n' << LinkProbe::usage() << Qt::endl;
        return 2;
    }
    LinkProbe probe(std::get<LinkProbe::Options>(std::move(parsed)));
    QObject::connect(&probe, &LinkProbe::finished, &app, &QCoreApplication::exit, Qt::QueuedConnection);
    probe.start();
    return app.exec();
}
