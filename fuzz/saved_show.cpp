// SPDX-License-Identifier: GPL-3.0-or-later
// The saved-show record: the input is a record file. A record the library accepts must read back from what
// it writes, and the pages it pins are bounded.
#include "FuzzSupport.h"

#include "saved/DownloadedShowLibrary.h"
#include "support/Json.h"

using namespace pgw;
using namespace Qt::StringLiterals;

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    fuzz::quietLogging();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    using Record = DownloadedShowLibrary::Record;
    const auto object = json::parseObject(QByteArray(reinterpret_cast<const char *>(data), qsizetype(size)));
    if (!object)
        return 0;
    // Records are found by their file's name, which is their id.
    const QString fileID = json::stringOr(*object, "id"_L1);
    const auto record = Record::fromJson(*object, fileID);
    if (!record)
        return 0;
    fuzz::require(record->id == fileID, "a record belongs in the file of its id");
    fuzz::require(record->wants().size() <= DownloadedShowLibrary::maxRecordWants,
        "a record pins a bounded number of pages");
    const auto reread = json::parseObject(json::compact(record->toJson()));
    fuzz::require(reread && Record::fromJson(*reread, fileID) == record, "a written record reads back");
    DownloadedShowContent::displayTitle(record->manifest);
    DownloadedShowContent::advertisedRenditionRefs(record->manifest);
    return 0;
}
