// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

namespace pgw {

// Why the annotation file could not be read or written; `text()` is what the musician is shown.
struct PrivateAnnotationStoreError
{
    enum class Kind {
        invalidDocument,
        invalidURL,
        oversizedFile,
        unsupportedFormat,
        unsupportedSchema,
        // The file or its JSON could not be read; the detail is the reader's own description.
        unreadable,
        // The file system refused the write; the detail is its description.
        unwritable,
    };

    Kind kind = Kind::invalidDocument;
    QString detail;

    static PrivateAnnotationStoreError invalidDocument(const QString &detail)
    {
        return {Kind::invalidDocument, detail};
    }
    static PrivateAnnotationStoreError unreadable(const QString &detail)
    {
        return {Kind::unreadable, detail};
    }
    static PrivateAnnotationStoreError unwritable(const QString &detail)
    {
        return {Kind::unwritable, detail};
    }

    QString text() const;
    bool operator==(const PrivateAnnotationStoreError &) const = default;
};

} // namespace pgw
