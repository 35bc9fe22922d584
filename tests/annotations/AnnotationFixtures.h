// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "TestSupport.h"
#include "annotations/PrivateAnnotationFile.h"

#include <QByteArray>

namespace pgw::fixtures {

using namespace Qt::StringLiterals;
using Error = PrivateAnnotationStoreError;

// What the musician is shown for a failure; empty when there is none.
inline QString failureText(const std::optional<Error> &error)
{
    return error ? error->text() : QString();
}

inline QString invalid(const char *detail)
{
    return Error::invalidDocument(QString::fromLatin1(detail)).text();
}

inline const QString oversized = Error {Error::Kind::oversizedFile}.text();

inline PrivateAnnotationPageKey pageKey(qint64 pageIndex = 0)
{
    return {u"score|base:v1"_s, pageIndex};
}

inline PrivateAnnotationStroke stroke(const QList<PrivateAnnotationPoint> &points, double width = 0.0025)
{
    return {QUuid::createUuid(), {PrivateAnnotationTool::pen, {0.92, 0.16, 0.15, 1.0}, width}, points};
}

// A short horizontal line starting at (x, y).
inline PrivateAnnotationStroke line(double x, double y)
{
    return stroke({{x, y, 1.0}, {x + 0.05, y, 1.0}});
}

inline QByteArray envelope(const QByteArray &pages, const QByteArray &schemaVersion = "1")
{
    return R"({"format":"local.pagewright.private-annotations","pages":[)" + pages + R"(],"schemaVersion":)"
        + schemaVersion + "}";
}

inline QByteArray page(const QByteArray &strokes, const QByteArray &scoreKey = "s|base:1", int pageIndex = 0)
{
    return R"({"key":{"pageIndex":)" + QByteArray::number(pageIndex) + R"(,"scoreKey":")" + scoreKey
        + R"("},"strokes":[)" + strokes + "]}";
}

inline QByteArray strokeJson(const QByteArray &points = R"({"pressure":1,"x":0.5,"y":0.5})",
    const QByteArray &width = "0.0025", const QByteArray &id = "0b6c9a1e-4f43-4c47-9a8f-2f3f0f6a8e11")
{
    return R"({"id":")" + id + R"(","points":[)" + points
        + R"(],"style":{"color":{"alpha":1,"blue":0.15,"green":0.16,"red":0.92},"normalizedWidth":)" + width
        + R"(,"tool":"pen"}})";
}

} // namespace pgw::fixtures
