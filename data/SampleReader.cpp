#include "data/SampleReader.h"
#include "data/DbError.h"
#include "data/DrugFields.h"
#include "data/JsonText.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <optional>

namespace data {

namespace {

// One input file: its top-level array, and where things are in its text.
class JsonFile
{
public:
    JsonFile(QString path, QByteArray bytes) : m_path(std::move(path)), m_bytes(std::move(bytes)) {}

    const QString &path() const { return m_path; }
    QJsonArray array;

    // Throws "file:line:column: message" for the place of item `item`
    // (-1: the top-level value), or of a member's name or value.
    enum class At { Item, Name, Value };
    [[noreturn]] void fail(int item, const QString &message, At at = At::Item, const QString &key = {}) const
    {
        throw DbError(where(item, at, key) + QStringLiteral(": ") + message);
    }
    QString where(int item, At at = At::Item, const QString &key = {}) const
    {
        if (!m_places)
            m_places.emplace(m_bytes);
        qsizetype offset = m_places->top;
        if (item >= 0 && size_t(item) < m_places->items.size()) {
            const JsonPlaces::Item &places = m_places->items[size_t(item)];
            const auto &members = at == At::Name ? places.names : places.values;
            offset = at == At::Item ? places.start : members.value(key, places.start);
        }
        return jsonPlace(m_path, m_bytes, offset);
    }

private:
    QString m_path;
    QByteArray m_bytes;
    mutable std::optional<JsonPlaces> m_places;
};

// The engine compares codes without regard to the case of Latin letters
// (COLLATE NOCASE), and so must a check for repeats.
QString latinFolded(QString code)
{
    for (QChar &c : code) {
        if (c >= u'A' && c <= u'Z')
            c = QChar(c.unicode() + 32);
    }
    return code;
}

// Reading the sample: every problem names the file, the line and the column,
// and is found before anything is written.
class SampleReader
{
public:
    explicit SampleReader(QString dir) : m_dir(std::move(dir)) {}

    JsonFile readArray(const QString &relative)
    {
        const QString path = QDir(m_dir).filePath(relative);
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            throw DbError(QStringLiteral("%1：无法读取文件").arg(path));
        const QByteArray bytes = file.readAll();
        QJsonParseError error;
        const QJsonDocument document = QJsonDocument::fromJson(bytes, &error);
        // The first problem in the text, ours or the parser's.
        const std::optional<JsonProblem> strict = strictJsonProblem(bytes);
        const auto fail = [&](qsizetype offset, const QString &message) {
            throw DbError(jsonPlace(path, bytes, offset) + QStringLiteral(": JSON 格式错误：") + message);
        };
        if (strict && (error.error == QJsonParseError::NoError || strict->offset <= error.offset))
            fail(strict->offset, strict->earlier < 0 ? strict->message
                                                     : strict->message + QStringLiteral("（第一次在 %1）").arg(jsonPlace(path, bytes, strict->earlier)));
        if (error.error != QJsonParseError::NoError)
            fail(error.offset, error.errorString());
        JsonFile json(path, bytes);
        if (!document.isArray())
            json.fail(-1, QStringLiteral("顶层必须是数组"));
        json.array = document.array();
        return json;
    }

    static QString text(const JsonFile &file, int item, const QJsonObject &object, const QString &key, bool required)
    {
        const QJsonValue value = object.value(key);
        if (value.isUndefined()) {
            if (required)
                file.fail(item, QStringLiteral("第 %1 项缺少 \"%2\"").arg(item + 1).arg(key));
            return QString();
        }
        if (!value.isString())
            file.fail(item, QStringLiteral("第 %1 项的 \"%2\" 必须是字符串").arg(item + 1).arg(key), JsonFile::At::Value, key);
        if (required && value.toString().isEmpty())
            file.fail(item, QStringLiteral("第 %1 项的 \"%2\" 不能为空").arg(item + 1).arg(key), JsonFile::At::Value, key);
        return value.toString();
    }

    static void onlyKeys(const JsonFile &file, int item, const QJsonObject &object, const QStringList &keys)
    {
        for (const QString &key : object.keys()) {
            if (!keys.contains(key))
                file.fail(item, QStringLiteral("第 %1 项有未知的列 \"%2\"").arg(item + 1).arg(key), JsonFile::At::Name, key);
        }
    }

    static QJsonObject object(const JsonFile &file, int item)
    {
        const QJsonValue value = file.array[item];
        if (!value.isObject())
            file.fail(item, QStringLiteral("第 %1 项必须是对象").arg(item + 1));
        return value.toObject();
    }

    // A code met before in the same file is refused: the database could not
    // hold both, or could never show the second.
    static void unique(const JsonFile &file, int item, const QString &code, QHash<QString, int> &seen)
    {
        const QString folded = latinFolded(code);
        const auto it = seen.constFind(folded);
        if (it == seen.cend()) {
            seen.insert(folded, item);
            return;
        }
        file.fail(item, QStringLiteral("第 %1 项的代码 \"%2\" 与第 %3 项（%4）重复，代码不能重复")
                            .arg(item + 1).arg(code).arg(*it + 1).arg(file.where(*it, JsonFile::At::Value, QStringLiteral("BM"))),
                  JsonFile::At::Value, QStringLiteral("BM"));
    }

    DrugContent read()
    {
        DrugContent content;
        const JsonFile categories = readArray(QStringLiteral("categories.json"));
        QHash<QString, int> categoryCodes;
        for (int i = 0; i < categories.array.size(); ++i) {
            const QJsonObject o = object(categories, i);
            onlyKeys(categories, i, o, {QStringLiteral("BM"), QStringLiteral("MC")});
            const DrugContent::Category category{text(categories, i, o, QStringLiteral("BM"), true),
                                    text(categories, i, o, QStringLiteral("MC"), true)};
            unique(categories, i, category.bm, categoryCodes);
            content.categories.push_back(category);
        }
        const QStringList columns = drugColumns();
        const QDir drugs(QDir(m_dir).filePath(QStringLiteral("drugs")));
        for (const QString &name : drugs.entryList({QStringLiteral("*.json")}, QDir::Files, QDir::Name)) {
            const JsonFile file = readArray(QStringLiteral("drugs/") + name);
            for (int i = 0; i < file.array.size(); ++i) {
                const QJsonObject o = object(file, i);
                onlyKeys(file, i, o, columns);
                DrugContent::Drug drug;
                for (const QString &column : columns)
                    drug.values << text(file, i, o, column, column == u"LB" || column == u"药物名称");
                content.drugs.push_back(drug);
            }
        }
        const QString help = QStringLiteral("help.json");
        if (QFileInfo::exists(QDir(m_dir).filePath(help))) {
            const JsonFile file = readArray(help);
            QHash<QString, int> topicCodes;
            for (int i = 0; i < file.array.size(); ++i) {
                const QJsonObject o = object(file, i);
                onlyKeys(file, i, o, {QStringLiteral("BM"), QStringLiteral("MC"), QStringLiteral("CONTENT")});
                DrugContent::HelpTopic topic{text(file, i, o, QStringLiteral("BM"), true), text(file, i, o, QStringLiteral("MC"), true),
                                text(file, i, o, QStringLiteral("CONTENT"), false), o.contains(QStringLiteral("CONTENT"))};
                unique(file, i, topic.bm, topicCodes);
                content.help.push_back(topic);
            }
        }
        return content;
    }

private:
    QString m_dir;
};

} // namespace

DrugContent readSample(const QString &dir)
{
    return SampleReader(dir).read();
}

} // namespace data
