#pragma once

#include <QString>
#include <QStringList>

namespace pgw {

namespace PlayerReadinessRailPolicy {

// Identifies a set of files regardless of order: the names sorted, each written as its UTF-8
// length, ":" and the name, joined with "|".
QString scopeFingerprint(const QStringList &fileNames);

} // namespace PlayerReadinessRailPolicy

} // namespace pgw
