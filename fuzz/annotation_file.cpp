// SPDX-License-Identifier: GPL-3.0-or-later
// The private annotation file: the input is the file's bytes. What the reader accepts must be written back
// to a file that reads as exactly the same pages, and the writer, which reuses the text of strokes it wrote
// before, must write after a change exactly what a fresh writer writes.
#include "FuzzSupport.h"

#include "annotations/PrivateAnnotationFile.h"

using namespace pgw;

namespace {

// The pages with the first stroke redrawn under the same id and the last page gone: an edit, an undo and
// a clear as the store makes them.
PrivateAnnotationPages edited(PrivateAnnotationPages pages)
{
    PrivateAnnotationStroke &first = pages.first().first();
    first.points.first().x = 1.0 - first.points.first().x;
    first.points.append(first.points.first());
    if (pages.size() > 1)
        pages.erase(std::prev(pages.end()));
    return pages;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    fuzz::quietLogging();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const PrivateAnnotationLimits limits;
    PrivateAnnotationPages pages;
    if (PrivateAnnotationFile::decode(
            QByteArray(reinterpret_cast<const char *>(data), qsizetype(size)), limits, pages))
        return 0;
    PrivateAnnotationEncoder encoder;
    const QByteArray written = encoder.encode(pages);
    PrivateAnnotationPages reread;
    fuzz::require(!PrivateAnnotationFile::decode(written, limits, reread), "a written file reads");
    fuzz::require(reread == pages, "a written file reads as the pages it was written from");
    fuzz::require(encoder.encode(pages) == written, "writing the same pages again writes the same file");
    if (pages.isEmpty())
        return 0;
    const PrivateAnnotationPages changed = edited(pages);
    fuzz::require(encoder.encode(changed) == PrivateAnnotationEncoder().encode(changed),
        "reused stroke text is what the stroke writes");
    return 0;
}
