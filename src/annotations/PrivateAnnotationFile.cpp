// SPDX-License-Identifier: GPL-3.0-or-later
#include "annotations/PrivateAnnotationFile.h"

#include "support/Json.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonParseError>
#include <QSaveFile>
#include <QSet>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace pgw {

namespace {

using Error = PrivateAnnotationStoreError;

constexpr QLatin1StringView penName {"pen"};
constexpr QLatin1StringView highlighterName {"highlighter"};

// NaN and the infinities fail these comparisons, so they are out of range too.
bool isUnit(double value)
{
    return value >= 0.0 && value <= 1.0;
}

bool isValidStyle(const PrivateAnnotationStyle &style)
{
    const PrivateAnnotationRGBA &color = style.color;
    return style.normalizedWidth >= 0.0001 && style.normalizedWidth <= 0.25 && isUnit(color.red)
        && isUnit(color.green) && isUnit(color.blue) && isUnit(color.alpha);
}

bool isNormalized(const PrivateAnnotationPoint &point)
{
    return isUnit(point.x) && isUnit(point.y) && isUnit(point.pressure);
}

bool isPathAllowed(const QString &path)
{
    return !path.isEmpty() && QDir::isAbsolutePath(path);
}

QString wrongType(QLatin1StringView key)
{
    return u"the value for \"%1\" is missing or has the wrong type"_s.arg(key);
}

// Reads the document's members strictly: a member that is missing or of the wrong type fails the whole
// document, and that failure becomes the error text.
class Decoder
{
public:
    std::optional<PrivateAnnotationPageKey> pageKey(const QJsonObject &entry)
    {
        const auto key = json::optObject(entry, "key"_L1);
        if (!key)
            return fail("key"_L1);
        const auto scoreKey = json::optString(*key, "scoreKey"_L1);
        if (!scoreKey)
            return fail("scoreKey"_L1);
        const auto pageIndex = json::optInt(*key, "pageIndex"_L1);
        if (!pageIndex)
            return fail("pageIndex"_L1);
        return PrivateAnnotationPageKey {*scoreKey, *pageIndex};
    }

    std::optional<QList<PrivateAnnotationStroke>> strokes(const QJsonObject &entry)
    {
        const auto array = json::optArray(entry, "strokes"_L1);
        if (!array)
            return fail("strokes"_L1);
        QList<PrivateAnnotationStroke> strokes;
        strokes.reserve(array->size());
        for (const QJsonValue &value : *array) {
            auto decoded = stroke(value);
            if (!decoded)
                return std::nullopt;
            strokes.append(std::move(*decoded));
        }
        return strokes;
    }

    const QString &failure() const { return m_failure; }

private:
    std::nullopt_t fail(QLatin1StringView key) { return failWith(wrongType(key)); }

    std::nullopt_t failWith(const QString &text)
    {
        m_failure = text;
        return std::nullopt;
    }

    std::optional<PrivateAnnotationStroke> stroke(const QJsonValue &value)
    {
        if (!value.isObject())
            return fail("strokes"_L1);
        const QJsonObject object = value.toObject();
        const auto id = uuid(object);
        if (!id)
            return std::nullopt;
        const auto styleObject = json::optObject(object, "style"_L1);
        if (!styleObject)
            return fail("style"_L1);
        auto decodedStyle = style(*styleObject);
        if (!decodedStyle)
            return std::nullopt;
        auto decodedPoints = points(object);
        if (!decodedPoints)
            return std::nullopt;
        return PrivateAnnotationStroke {*id, *decodedStyle, std::move(*decodedPoints)};
    }

    std::optional<QUuid> uuid(const QJsonObject &object)
    {
        const auto text = json::optString(object, "id"_L1);
        if (!text)
            return fail("id"_L1);
        // fromString also takes braces and gives the null UUID for nonsense, so both are ruled out here.
        const QUuid id = QUuid::fromString(*text);
        if (text->size() != 36 || (id.isNull() && *text != "00000000-0000-0000-0000-000000000000"_L1))
            return failWith(u"the value for \"id\" is not a UUID"_s);
        return id;
    }

    std::optional<PrivateAnnotationStyle> style(const QJsonObject &object)
    {
        PrivateAnnotationStyle style;
        const auto tool = json::optString(object, "tool"_L1);
        if (tool == penName)
            style.tool = PrivateAnnotationTool::pen;
        else if (tool == highlighterName)
            style.tool = PrivateAnnotationTool::highlighter;
        else
            return fail("tool"_L1);
        const auto width = json::optNumber(object, "normalizedWidth"_L1);
        if (!width)
            return fail("normalizedWidth"_L1);
        style.normalizedWidth = *width;
        const auto color = json::optObject(object, "color"_L1);
        if (!color)
            return fail("color"_L1);
        if (!number(*color, "red"_L1, style.color.red) || !number(*color, "green"_L1, style.color.green)
            || !number(*color, "blue"_L1, style.color.blue) || !number(*color, "alpha"_L1, style.color.alpha))
            return std::nullopt;
        return style;
    }

    std::optional<QList<PrivateAnnotationPoint>> points(const QJsonObject &stroke)
    {
        const auto array = json::optArray(stroke, "points"_L1);
        if (!array)
            return fail("points"_L1);
        QList<PrivateAnnotationPoint> points;
        points.reserve(array->size());
        for (const QJsonValue &value : *array) {
            if (!value.isObject())
                return fail("points"_L1);
            const QJsonObject object = value.toObject();
            PrivateAnnotationPoint point;
            if (!number(object, "x"_L1, point.x) || !number(object, "y"_L1, point.y)
                || !number(object, "pressure"_L1, point.pressure))
                return std::nullopt;
            points.append(point);
        }
        return points;
    }

    bool number(const QJsonObject &object, QLatin1StringView key, double &target)
    {
        const auto value = json::optNumber(object, key);
        if (!value) {
            fail(key);
            return false;
        }
        target = *value;
        return true;
    }

    QString m_failure;
};

} // namespace

PrivateAnnotationFile::PrivateAnnotationFile(QString path, const PrivateAnnotationLimits &limits)
    : m_path(std::move(path))
    , m_limits(limits)
{ }

std::optional<PrivateAnnotationStoreError> PrivateAnnotationFile::load(PrivateAnnotationPages &pages)
{
    if (!isPathAllowed(m_path))
        return Error {Error::Kind::invalidURL};
    const QFileInfo info(m_path);
    if (!info.exists())
        return std::nullopt;
    if (!info.isFile())
        return Error::invalidDocument(u"storage URL is not a regular file"_s);
    if (info.size() > m_limits.maximumFileBytes)
        return Error {Error::Kind::oversizedFile};
    QFile file(m_path);
    if (!file.open(QIODevice::ReadOnly))
        return Error::unreadable(file.errorString());
    // One byte past the bound tells a file that grew since it was measured.
    const QByteArray data = file.read(m_limits.maximumFileBytes + 1);
    if (file.error() != QFileDevice::NoError)
        return Error::unreadable(file.errorString());
    if (data.size() > m_limits.maximumFileBytes)
        return Error {Error::Kind::oversizedFile};
    if (auto invalid = decode(data, m_limits, pages))
        return invalid;
    // Formatting the strokes now spares the musician's first stroke the wait.
    m_encoder.encode(pages);
    return std::nullopt;
}

std::optional<PrivateAnnotationStoreError> PrivateAnnotationFile::save(const PrivateAnnotationPages &pages)
{
    if (auto invalid = validate(pages, m_limits))
        return invalid;
    const QByteArray data = m_encoder.encode(pages);
    if (data.size() > m_limits.maximumFileBytes)
        return Error {Error::Kind::oversizedFile};
    if (!isPathAllowed(m_path))
        return Error {Error::Kind::invalidURL};
    if (!QFileInfo(m_path).dir().mkpath("."_L1))
        return Error::unwritable(u"its folder could not be created"_s);
    QSaveFile file(m_path);
    if (!file.open(QIODevice::WriteOnly) || file.write(data) != data.size() || !file.commit())
        return Error::unwritable(file.errorString());
    return std::nullopt;
}

std::optional<PrivateAnnotationStoreError> PrivateAnnotationFile::decode(
    const QByteArray &data, const PrivateAnnotationLimits &limits, PrivateAnnotationPages &pages)
{
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(data, &parseError);
    if (parseError.error != QJsonParseError::NoError)
        return Error::unreadable(u"%1 at byte %2"_s.arg(parseError.errorString()).arg(parseError.offset));
    if (!document.isObject())
        return Error::unreadable(u"the document is not a JSON object"_s);
    const QJsonObject envelope = document.object();
    if (json::optString(envelope, "format"_L1) != PrivateAnnotationEncoder::format)
        return Error {Error::Kind::unsupportedFormat};
    if (json::optInt(envelope, "schemaVersion"_L1) != PrivateAnnotationEncoder::schemaVersion)
        return Error {Error::Kind::unsupportedSchema};

    const auto entries = json::optArray(envelope, "pages"_L1);
    if (!entries)
        return Error::unreadable(wrongType("pages"_L1));
    if (entries->size() > limits.maximumPages)
        return Error {Error::Kind::oversizedFile};
    Decoder decoder;
    PrivateAnnotationPages decoded;
    QSet<PrivateAnnotationPageKey> seen;
    for (const QJsonValue &value : *entries) {
        const QJsonObject entry = value.toObject();
        const auto key = decoder.pageKey(entry);
        if (!key)
            return Error::unreadable(decoder.failure());
        auto strokes = decoder.strokes(entry);
        if (!strokes)
            return Error::unreadable(decoder.failure());
        if (seen.contains(*key))
            return Error::invalidDocument(u"duplicate page key"_s);
        seen.insert(*key);
        if (!strokes->isEmpty())
            decoded.insert(*key, std::move(*strokes));
    }
    if (auto invalid = validate(decoded, limits))
        return invalid;
    pages = std::move(decoded);
    return std::nullopt;
}

std::optional<PrivateAnnotationStoreError> PrivateAnnotationFile::validate(
    const PrivateAnnotationPages &pages, const PrivateAnnotationLimits &limits)
{
    if (pages.size() > limits.maximumPages)
        return Error {Error::Kind::oversizedFile};
    QSet<QUuid> ids;
    qsizetype totalStrokes = 0;
    qsizetype totalPoints = 0;
    for (auto page = pages.cbegin(); page != pages.cend(); ++page) {
        const PrivateAnnotationPageKey &key = page.key();
        if (key.scoreKey.isEmpty() || key.scoreKey.toUtf8().size() > limits.maximumScoreKeyBytes)
            return Error::invalidDocument(u"score key is missing or too long"_s);
        if (key.pageIndex < 0 || key.pageIndex > limits.maximumPageIndex)
            return Error::invalidDocument(u"page index is outside its safe range"_s);
        totalStrokes += page->size();
        if (page->size() > limits.maximumStrokesPerPage || totalStrokes > limits.maximumTotalStrokes)
            return Error {Error::Kind::oversizedFile};
        for (const PrivateAnnotationStroke &stroke : *page) {
            const qsizetype idsBefore = ids.size();
            ids.insert(stroke.id);
            if (ids.size() == idsBefore)
                return Error::invalidDocument(u"duplicate stroke identifier"_s);
            if (stroke.points.isEmpty() || stroke.points.size() > limits.maximumPointsPerStroke)
                return Error::invalidDocument(u"stroke point count is outside its limit"_s);
            totalPoints += stroke.points.size();
            if (totalPoints > limits.maximumTotalPoints)
                return Error {Error::Kind::oversizedFile};
            if (!isValidStyle(stroke.style))
                return Error::invalidDocument(u"stroke contains an invalid style"_s);
            if (!std::all_of(stroke.points.cbegin(), stroke.points.cend(), isNormalized))
                return Error::invalidDocument(u"stroke contains a non-normalized point"_s);
        }
    }
    return std::nullopt;
}

} // namespace pgw
