// SPDX-License-Identifier: GPL-3.0-or-later
#include "FuzzSupport.h"

#include <QtGlobal>

#include <cstdio>
#include <cstdlib>

namespace pgw::fuzz {

void quietLogging()
{
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext &, const QString &message) {
        if (type == QtFatalMsg)
            std::fprintf(stderr, "%s\n", qUtf8Printable(message));
    });
}

void require(bool holds, const char *property)
{
    if (holds)
        return;
    std::fprintf(stderr, "Property violated: %s\n", property);
    std::abort();
}

quint8 Input::byte()
{
    if (m_rest.isEmpty())
        return 0;
    const quint8 value = quint8(m_rest[0]);
    m_rest = m_rest.sliced(1);
    return value;
}

quint16 Input::word()
{
    const quint8 high = byte();
    return quint16(high << 8 | byte());
}

quint32 Input::quad()
{
    const quint32 high = word();
    return high << 16 | word();
}

QList<QByteArrayView> lines(QByteArrayView text)
{
    QList<QByteArrayView> result;
    while (!text.isEmpty()) {
        const qsizetype end = text.indexOf('\n');
        result.append(end < 0 ? text : text.first(end));
        text = end < 0 ? QByteArrayView() : text.sliced(end + 1);
    }
    return result;
}

} // namespace pgw::fuzz
