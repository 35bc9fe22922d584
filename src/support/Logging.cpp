// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/Logging.h"

namespace pgw {

Q_LOGGING_CATEGORY(lcLink, "pgw.link", QtInfoMsg)
Q_LOGGING_CATEGORY(lcDiscovery, "pgw.discovery", QtInfoMsg)
Q_LOGGING_CATEGORY(lcAssets, "pgw.assets", QtInfoMsg)
Q_LOGGING_CATEGORY(lcShow, "pgw.show", QtInfoMsg)
Q_LOGGING_CATEGORY(lcMidi, "pgw.midi", QtInfoMsg)
Q_LOGGING_CATEGORY(lcFiles, "pgw.files", QtInfoMsg)

void logRetry(const QLoggingCategory &category, bool repeated, const QString &line)
{
    if (repeated)
        qCDebug(category).noquote() << line;
    else
        qCInfo(category).noquote() << line;
}

} // namespace pgw
