// SPDX-License-Identifier: GPL-3.0-or-later
#include "annotations/PrivateAnnotationStoreError.h"

using namespace Qt::StringLiterals;

namespace pgw {

QString PrivateAnnotationStoreError::text() const
{
    switch (kind) {
    case Kind::invalidDocument:
        return u"Private annotation storage is invalid: "_s + detail + u'.';
    case Kind::invalidURL:
        return u"Private annotation storage requires a local file URL."_s;
    case Kind::oversizedFile:
        return u"Private annotation storage exceeds its safe size limit."_s;
    case Kind::unsupportedFormat:
        return u"Private annotation storage has an unknown format."_s;
    case Kind::unsupportedSchema:
        return u"Private annotations were written by an unsupported newer version."_s;
    case Kind::unreadable:
        return u"Private annotation storage could not be read: "_s + detail + u'.';
    case Kind::unwritable:
        return u"Private annotations could not be saved: "_s + detail + u'.';
    }
    Q_UNREACHABLE();
    return {};
}

} // namespace pgw
