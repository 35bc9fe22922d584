// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QImage>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <optional>

class QIODevice;

namespace pgw {

// Finds the Host's join link in a picture of its QR code: a screenshot, a photo, a camera frame or a
// pasted link's text. Pictures come from anywhere, so their size is checked before they are decoded.
// Safe on any thread.
namespace JoinCodeReader {

// Larger pictures are refused: a code needs far fewer pixels, and decoding more takes seconds and
// hundreds of megabytes.
constexpr qint64 maxPixels = 40'000'000;

inline const QString notAJoinLink = QStringLiteral("This QR code is not a Pagewright join link.");
inline const QString notALinkText = QStringLiteral("This is not a Pagewright join link.");
inline const QString noCode = QStringLiteral("No QR code was found in this image.");
inline const QString tooLarge = QStringLiteral("This image is too large to read.");
inline const QString unreadable = QStringLiteral("This is not an image the Player can read.");

// A join link, or why there is none.
struct Outcome
{
    std::optional<QUrl> link;
    QString problem;
};

bool fits(QSize size);
// The link in a text when it is a join link, surrounding white space aside.
std::optional<QUrl> joinLink(const QString &text);
// The texts of every QR code in the picture: dark codes on light first, then light codes on dark.
QStringList decodedTexts(const QImage &image);
// The first code that holds a join link wins.
Outcome read(const QImage &image);
// An encoded picture (PNG, JPEG, …), refused when its header claims too many pixels.
Outcome read(QIODevice &device);
Outcome readFile(const QString &path);

} // namespace JoinCodeReader

} // namespace pgw
