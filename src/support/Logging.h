// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QLoggingCategory>
#include <QString>

namespace pgw {

// The Player's logging categories. Info and above go out by default through Qt's handler (stderr or
// the journal); QT_LOGGING_RULES switches the rest, e.g. "pgw.link.debug=true".
Q_DECLARE_LOGGING_CATEGORY(lcLink)
Q_DECLARE_LOGGING_CATEGORY(lcDiscovery)
Q_DECLARE_LOGGING_CATEGORY(lcAssets)
Q_DECLARE_LOGGING_CATEGORY(lcShow)
Q_DECLARE_LOGGING_CATEGORY(lcMidi)
Q_DECLARE_LOGGING_CATEGORY(lcFiles)

// A line that a retry loop may repeat: at info until it only repeats, then at debug, so an hour
// offline does not fill the journal.
void logRetry(const QLoggingCategory &category, bool repeated, const QString &line);

} // namespace pgw
