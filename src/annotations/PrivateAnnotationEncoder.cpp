// SPDX-License-Identifier: GPL-3.0-or-later
#include "annotations/PrivateAnnotationEncoder.h"

#include <charconv>

namespace pgw {

namespace {

// Appends JSON text to one growing buffer.
class JsonWriter
{
public:
    explicit JsonWriter(qsizetype capacity) { m_out.reserve(capacity); }

    void raw(QByteArrayView text) { m_out.append(text); }

    // The shortest text that reads back as the same double, so a stored value is never nudged across a limit.
    void number(double value)
    {
        char buffer[32];
        const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
        m_out.append(buffer, result.ptr - buffer);
    }

    void integer(qint64 value)
    {
        char buffer[24];
        const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
        m_out.append(buffer, result.ptr - buffer);
    }

    // Half of a surrogate pair has no UTF-8 form (toUtf8 would write "?"), so it is escaped as \uXXXX,
    // which reads back as the same code unit: a key must name the same page after a restart.
    void string(const QString &text)
    {
        m_out.append('"');
        qsizetype start = 0;
        for (qsizetype i = 0; i < text.size(); ++i) {
            const QChar unit = text[i];
            if (!unit.isSurrogate())
                continue;
            if (unit.isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
                ++i;
                continue;
            }
            utf8(QStringView(text).sliced(start, i - start));
            escape(unit.unicode());
            start = i + 1;
        }
        utf8(QStringView(text).sliced(start));
        m_out.append('"');
    }

    qsizetype size() const { return m_out.size(); }
    QByteArray take() { return std::move(m_out); }

private:
    void utf8(QStringView text)
    {
        for (const char byte : text.toUtf8())
            character(byte);
    }

    void escape(char16_t unit)
    {
        static constexpr char hex[] = "0123456789abcdef";
        const char escaped[]
            = {'\\', 'u', hex[unit >> 12], hex[(unit >> 8) & 0xf], hex[(unit >> 4) & 0xf], hex[unit & 0xf]};
        m_out.append(escaped, sizeof escaped);
    }

    void character(char byte)
    {
        switch (byte) {
        case '"':
            m_out.append("\\\"");
            return;
        case '\\':
            m_out.append("\\\\");
            return;
        case '\n':
            m_out.append("\\n");
            return;
        case '\r':
            m_out.append("\\r");
            return;
        case '\t':
            m_out.append("\\t");
            return;
        default:
            break;
        }
        if (static_cast<unsigned char>(byte) < 0x20) {
            escape(char16_t(byte));
            return;
        }
        m_out.append(byte);
    }

    QByteArray m_out;
};

void writeStroke(JsonWriter &out, const PrivateAnnotationStroke &stroke)
{
    out.raw(R"({"id":")");
    out.raw(stroke.id.toByteArray(QUuid::WithoutBraces));
    out.raw(R"(","points":[)");
    for (qsizetype i = 0; i < stroke.points.size(); ++i) {
        const PrivateAnnotationPoint &point = stroke.points[i];
        out.raw(i == 0 ? R"({"pressure":)" : R"(,{"pressure":)");
        out.number(point.pressure);
        out.raw(R"(,"x":)");
        out.number(point.x);
        out.raw(R"(,"y":)");
        out.number(point.y);
        out.raw("}");
    }
    const PrivateAnnotationStyle &style = stroke.style;
    out.raw(R"(],"style":{"color":{"alpha":)");
    out.number(style.color.alpha);
    out.raw(R"(,"blue":)");
    out.number(style.color.blue);
    out.raw(R"(,"green":)");
    out.number(style.color.green);
    out.raw(R"(,"red":)");
    out.number(style.color.red);
    out.raw(R"(},"normalizedWidth":)");
    out.number(style.normalizedWidth);
    out.raw(style.tool == PrivateAnnotationTool::pen ? R"(,"tool":"pen"}})" : R"(,"tool":"highlighter"}})");
}

qsizetype estimatedSize(const PrivateAnnotationPages &pages)
{
    qsizetype size = 128;
    for (const auto &strokes : pages) {
        size += 128;
        for (const PrivateAnnotationStroke &stroke : strokes)
            size += 192 + stroke.points.size() * 64;
    }
    return size;
}

} // namespace

QByteArray PrivateAnnotationEncoder::encode(const PrivateAnnotationPages &pages)
{
    QHash<QUuid, EncodedStroke> encoded;
    JsonWriter out(estimatedSize(pages));
    out.raw(R"({"format":")");
    out.raw(format);
    out.raw(R"(","pages":[)");
    for (auto page = pages.cbegin(); page != pages.cend(); ++page) {
        out.raw(page == pages.cbegin() ? R"({"key":{"pageIndex":)" : R"(,{"key":{"pageIndex":)");
        out.integer(page.key().pageIndex);
        out.raw(R"(,"scoreKey":)");
        out.string(page.key().scoreKey);
        out.raw(R"(},"strokes":[)");
        for (qsizetype i = 0; i < page->size(); ++i) {
            if (i > 0)
                out.raw(",");
            const PrivateAnnotationStroke &stroke = page->at(i);
            const qsizetype start = out.size();
            const auto cached = m_strokes.constFind(stroke.id);
            // The points compare in constant time while the stroke still shares them with the cached copy.
            if (cached != m_strokes.cend() && cached->stroke == stroke)
                out.raw(QByteArrayView(m_text).sliced(cached->start, cached->length));
            else
                writeStroke(out, stroke);
            encoded.insert(stroke.id, {stroke, start, out.size() - start});
        }
        out.raw("]}");
    }
    out.raw(R"(],"schemaVersion":)");
    out.integer(schemaVersion);
    out.raw("}");
    m_strokes = std::move(encoded);
    m_text = out.take();
    return m_text;
}

} // namespace pgw
