// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "assets/AssetLedger.h"
#include "support/Logging.h"

#include <QByteArray>
#include <QString>

#include <optional>

namespace pgw {

// The flat cache directory on disk. Its contents are untrusted: names are checked so that nothing
// reaches outside it, links are never followed, and reads are bounded.
class AssetDirectory
{
public:
    explicit AssetDirectory(const QString &path);

    QString path() const { return m_path; }
    // The path of a file directly inside the directory; absent for a name that could leave it.
    std::optional<QString> filePath(const QString &name) const;

    // Creates the directory and its parents; failure is logged and shows later as failed writes.
    void create() const;
    // One entry per item: size for regular files (0 for anything else), modification date.
    AssetLedger listing() const;
    // The whole contents of a regular file of 1 to maxFileBytes bytes, stamping its modification date
    // with `touchTime`; absent otherwise.
    std::optional<QByteArray> readAndTouch(const QString &name, qint64 touchTime) const;
    // Whether anything, a dangling link included, is at the name.
    bool exists(const QString &name) const;
    // Moves a file within the directory, never replacing an existing one.
    bool rename(const QString &from, const QString &to) const;

    // The defaults for the store's file operations; failures are logged under `category`.
    static bool writeAtomically(
        const QString &path, const QByteArray &bytes, const QLoggingCategory &category = lcAssets());
    static bool removeItem(const QString &path, const QLoggingCategory &category = lcAssets());

    static constexpr qint64 maxFileBytes = 16'777'216;

private:
    QString m_path;
};

} // namespace pgw
