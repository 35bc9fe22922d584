// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "annotations/PrivateAnnotationFile.h"
#include "annotations/PrivateAnnotationLimits.h"
#include "annotations/PrivateAnnotationPageKey.h"
#include "annotations/PrivateAnnotationStoreError.h"
#include "annotations/PrivateAnnotationStroke.h"

#include <QHash>
#include <QList>
#include <QObject>
#include <QString>

#include <variant>

namespace pgw {

// The musician's own ink, kept only on this device. Every change is written to the file before it
// becomes visible; a file that cannot be trusted blocks all writing so that it is never overwritten.
// Lives on the main thread and writes synchronously.
class PrivateAnnotationStore : public QObject
{
    Q_OBJECT
    Q_PROPERTY(qint64 generation READ generation NOTIFY generationChanged)
    Q_PROPERTY(QString lastPersistenceError READ lastPersistenceError NOTIFY lastPersistenceErrorChanged)
    Q_PROPERTY(bool loadBlocked READ loadBlocked CONSTANT)

public:
    using Limits = PrivateAnnotationLimits;
    using StoreError = PrivateAnnotationStoreError;

    struct IndexedStroke
    {
        qsizetype index = 0;
        PrivateAnnotationStroke stroke;
        bool operator==(const IndexedStroke &) const = default;
    };
    // A stroke appended at `index`.
    struct AddEntry
    {
        qsizetype index = 0;
        PrivateAnnotationStroke stroke;
        bool operator==(const AddEntry &) const = default;
    };
    // Strokes erased together, with their former places.
    struct RemoveEntry
    {
        QList<IndexedStroke> strokes;
        bool operator==(const RemoveEntry &) const = default;
    };
    // The page's former contents.
    struct ClearEntry
    {
        QList<PrivateAnnotationStroke> strokes;
        bool operator==(const ClearEntry &) const = default;
    };
    using HistoryEntry = std::variant<AddEntry, RemoveEntry, ClearEntry>;

    struct PageHistory
    {
        // Newest last.
        QList<HistoryEntry> undo;
        QList<HistoryEntry> redo;
    };

    explicit PrivateAnnotationStore(
        const QString &filePath, const Limits &limits = {}, QObject *parent = nullptr);

    const QString &filePath() const { return m_file.path(); }
    const Limits &limits() const { return m_limits; }

    QList<PrivateAnnotationStroke> strokes(const PrivateAnnotationPageKey &page) const;

    bool addStroke(const PrivateAnnotationStroke &stroke, const PrivateAnnotationPageKey &page);
    // Erases every stroke the path touches; `pageAspectRatio` is width ÷ height. Returns how many were
    // erased, 0 when nothing changed or the write failed.
    int erase(const QList<PrivateAnnotationPoint> &path, double radius, double pageAspectRatio,
        const PrivateAnnotationPageKey &page);
    bool clear(const PrivateAnnotationPageKey &page);

    bool canUndo(const PrivateAnnotationPageKey &page) const;
    bool canRedo(const PrivateAnnotationPageKey &page) const;
    bool undo(const PrivateAnnotationPageKey &page);
    bool redo(const PrivateAnnotationPageKey &page);

    qint64 generation() const { return m_generation; }
    // Empty when the last write succeeded.
    QString lastPersistenceError() const { return m_lastPersistenceError; }
    bool loadBlocked() const { return m_loadBlocked; }

Q_SIGNALS:
    void generationChanged(qint64 generation);
    void lastPersistenceErrorChanged(const QString &error);

private:
    // Writes the whole file with the page's new strokes and, once written, makes them current.
    bool write(const PrivateAnnotationPageKey &page, const QList<PrivateAnnotationStroke> &strokes);
    void changed();
    void record(const PrivateAnnotationPageKey &page, HistoryEntry entry);
    void pushTrimmed(QList<HistoryEntry> &list, HistoryEntry entry) const;
    void setLastPersistenceError(const QString &error);

    Limits m_limits;
    PrivateAnnotationFile m_file;
    PrivateAnnotationPages m_strokesByPage;
    QHash<PrivateAnnotationPageKey, PageHistory> m_historyByPage;
    bool m_loadBlocked = false;
    qint64 m_generation = 0;
    QString m_lastPersistenceError;
};

} // namespace pgw
