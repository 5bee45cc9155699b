#include "data/postgres/PgSearch.h"
#include "data/postgres/PgConnection.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace data::pg {

QString likeTest(const QString &column, const QString &parameter, QStringView pattern)
{
    bool letters = false, replaced = false;
    for (const QChar c : pattern) {
        letters = letters || (c.unicode() < 0x80 && c.isLetter());
        replaced = replaced || c.unicode() >= 0xFFFD;
    }
    // A letter of the value meets only % or _ of a pattern without letters,
    // which take it in either case; and U+FFFE reads as U+FFFD only to a
    // pattern that holds one of the three.
    if (replaced)
        return QStringLiteral("zelkano_like_text(%1) LIKE zelkano_like_text(%2) ESCAPE ''").arg(column, parameter);
    if (letters)
        return QStringLiteral("zelkano_fold(%1) LIKE zelkano_fold(%2) ESCAPE ''").arg(column, parameter);
    return QStringLiteral("%1 LIKE %2 ESCAPE ''").arg(column, parameter);
}

double estimatedRows(Connection &connection, const QString &where, const std::vector<Param> &params)
{
    const Result plan = connection.exec(QStringLiteral("EXPLAIN (FORMAT JSON) SELECT 1 FROM DRUG_ZB WHERE ") + where,
                                        params);
    const QJsonDocument json = QJsonDocument::fromJson(plan.bytes(0, 0));
    return json.array().at(0).toObject().value(QLatin1String("Plan")).toObject().value(QLatin1String("Plan Rows")).toDouble();
}

double drugCount(Connection &connection)
{
    // The planner's own count, kept by ANALYZE: no scan of the table.
    return estimatedRows(connection, QStringLiteral("true"), {});
}

QString holdsKeysTest(const QString &column, const QString &parameter)
{
    return QStringLiteral("zelkano_keys(%1) @> %2::text[]").arg(column, parameter);
}

QStringList requiredKeys(QStringView typed, int limit)
{
    // The characters as the server holds them: what typed sends is its UTF-8.
    const QList<uint> text = QString::fromUtf8(typed.toUtf8()).toUcs4();
    const auto key = [](uint c) {
        if (c >= 'A' && c <= 'Z')
            c += 'a' - 'A';
        else if (c == 0xFFFE || c == 0xFFFF)
            c = 0xFFFD;
        const char32_t one = char32_t(c);
        return QString::fromUcs4(&one, 1);
    };
    QStringList singles, pairs;
    QString previous;
    for (uint c : text) {
        if (pairs.size() >= limit && singles.size() >= limit)
            break;
        if (c == '%' || c == '_') {
            previous.clear();
            continue;
        }
        const QString k = key(c);
        if (singles.size() < limit && !singles.contains(k))
            singles << k;
        if (!previous.isEmpty() && pairs.size() < limit && !pairs.contains(previous + k))
            pairs << previous + k;
        previous = k;
    }
    QStringList keys = pairs.mid(0, limit);
    for (const QString &s : singles) {
        if (keys.size() >= limit)
            break;
        keys << s;
    }
    return keys;
}

QByteArray arrayLiteral(const QStringList &keys)
{
    QByteArray out("{");
    for (const QString &k : keys) {
        if (out.size() > 1)
            out += ',';
        out += '"';
        for (char c : k.toUtf8()) {
            if (c == '"' || c == '\\')
                out += '\\';
            out += c;
        }
        out += '"';
    }
    return out + '}';
}

} // namespace data::pg
