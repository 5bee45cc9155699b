#include "lookup/CombinedQuery.h"
#include "data/Connection.h"
#include "data/DrugFields.h"
#include "data/NameSearch.h"
#include "pinyin/Simplified.h"
#include "pinyin/TypedName.h"

#include <algorithm>

namespace {

// The boxes whose Latin letters are also pinyin: the name's and the other
// names'.
enum class PinyinOf { None, Name, OtherNames };

PinyinOf pinyinOf(int box)
{
    const QStringList columns = data::boxColumns(box);
    if (columns == QStringList{QStringLiteral("药物名称")})
        return PinyinOf::Name;
    if (columns == QStringList{QStringLiteral("别名")})
        return PinyinOf::OtherNames;
    return PinyinOf::None;
}

} // namespace

CombinedQuery::CombinedQuery(const QStringList &texts)
{
    for (int box = 1; box <= data::SearchBoxCount; ++box) {
        const QString text = texts.value(box - 1);
        if (text.isEmpty())
            continue;
        m_typed.push_back({box, text});
        const QStringList columns = data::boxColumns(box);
        // The test that the box's column(s) contain `typed`, bound to `parameter`.
        const auto contains = [&](const QString &typed, const QString &parameter) {
            QString pattern = QLatin1Char('%') + typed + QLatin1Char('%');
            // A text too long for the engine's LIKE without wildcards is
            // searched as a plain substring, with the same case rule for Latin
            // letters; one with wildcards by our own matcher of LIKE's meaning,
            // registered on the connection.
            const bool tooLong = pattern.toUtf8().size() > LikePatternLimit;
            const bool substring = tooLong && !typed.contains(QLatin1Char('%')) && !typed.contains(QLatin1Char('_'));
            const auto test = [&](const QString &column) {
                if (substring)
                    return QStringLiteral("instr(lower(%1), lower(%2)) > 0").arg(column, parameter);
                return tooLong ? QStringLiteral("long_like(%2, %1)").arg(column, parameter)
                               : QStringLiteral("%1 like %2").arg(column, parameter);
            };
            if (substring)
                pattern = typed;
            m_parameters.emplace_back(parameter.mid(1), pattern);
            return columns.size() == 2 ? QStringLiteral("( %1   or  %2)").arg(test(columns[0]), test(columns[1])) : test(columns[0]);
        };
        const QString parameter = QStringLiteral(":p%1").arg(box);
        const QString test = contains(text, parameter);

        Alternatives a{box, {text}, {}, test, {}};
        const QString simplified = pinyin::toSimplified(text);
        if (simplified != text) {
            a.texts << simplified;
            a.test += QStringLiteral(" or ") + contains(simplified, parameter + u's');
        }
        if (const PinyinOf of = pinyinOf(box); of != PinyinOf::None) {
            a.latin = pinyin::typedName(text).latin;
            if (!a.latin.isEmpty()) {
                const auto [from, to] = data::nameKeyBounds(a.latin);
                m_parameters.emplace_back(QStringLiteral("k%1a").arg(box), from);
                m_parameters.emplace_back(QStringLiteral("k%1b").arg(box), to);
                a.keyTest = data::nameKeyTest(of == PinyinOf::OtherNames, QStringLiteral(":k%1a").arg(box),
                                              QStringLiteral(":k%1b").arg(box));
            }
        }
        if (a.texts.size() == 1 && a.keyTest.isEmpty()) {
            m_plain.emplace_back(box, test);
            m_filled.push_back({data::boxIndexField(box), text});
        } else {
            m_alternatives.push_back(std::move(a));
        }
    }
}

QString CombinedQuery::alternativesTest(const Alternatives &a, bool keys)
{
    return QStringLiteral("(") + a.test + (keys && !a.keyTest.isEmpty() ? QStringLiteral(" or ") + a.keyTest : QString()) +
        QStringLiteral(")");
}

QString CombinedQuery::tests(bool keys) const
{
    // Every box in box order.
    QString where = QStringLiteral("1=1");
    auto plain = m_plain.begin();
    auto alternative = m_alternatives.begin();
    for (int box = 1; box <= data::SearchBoxCount; ++box) {
        if (plain != m_plain.end() && plain->first == box)
            where += QStringLiteral(" and  ") + (plain++)->second;
        else if (alternative != m_alternatives.end() && alternative->box == box)
            where += QStringLiteral(" and ") + alternativesTest(*alternative++, keys);
    }
    return where;
}

QString CombinedQuery::statement(const QString &where)
{
    return QStringLiteral("select ID,类别,药物名称,LB from DRUG_ZB  where ") + where + QStringLiteral(" order by LB,ID");
}

QString CombinedQuery::sql(data::Connection &connection)
{
    if (connection.isServer()) {
        data::Engine &engine = connection.engine();
        const QString where = serverTests(engine, data::nameKeysUsable(connection));
        // The server's index narrows the boxes with one text and no pinyin.
        std::vector<data::SearchCriterion> single;
        for (const data::SearchCriterion &c : m_typed) {
            if (pinyin::toSimplified(c.typed) == c.typed && !hasKeyTest(c.box))
                single.push_back(c);
        }
        return serverStatement(engine, engine.narrow(single, where, m_parameters));
    }
    data::SearchIndex index(connection);
    if (m_alternatives.empty())
        return statement(index.narrow(m_filled, tests(false)));
    // The index narrows the plain boxes by itself; a box with alternatives
    // gets its own candidates: those of either text, and those its pinyin
    // finds.
    QString plain = QStringLiteral("1=1");
    for (const auto &[box, test] : m_plain)
        plain += QStringLiteral(" and  ") + test;
    const bool keys = data::nameKeysUsable(connection);
    QString where = index.narrow(m_filled, plain);
    for (const Alternatives &a : m_alternatives) {
        where += QStringLiteral(" and ") + alternativesTest(a, keys);
        const std::vector<qint64> also = keys && !a.latin.isEmpty()
            ? data::nameKeyIds(connection, pinyinOf(a.box) == PinyinOf::OtherNames, a.latin)
            : std::vector<qint64>();
        if (const auto candidates = index.candidatesOfAny(data::boxIndexField(a.box), a.texts, also)) {
            const QString table = QStringLiteral("BOX_IDS_%1").arg(a.box);
            index.stage(table, *candidates);
            where = QStringLiteral("ID in (select ID from temp.%1) and ").arg(table) + where;
        }
    }
    return statement(where);
}

QString CombinedQuery::fullSql(data::Connection &connection, const QString &rows)
{
    const QString only = rows.isEmpty() ? QString() : rows + QStringLiteral(" and ");
    if (connection.isServer())
        return serverStatement(connection.engine(),
                               only + serverTests(connection.engine(), data::nameKeysUsable(connection)));
    return statement(only + tests(true));
}

bool CombinedQuery::hasKeyTest(int box) const
{
    return std::any_of(m_alternatives.begin(), m_alternatives.end(),
                       [box](const Alternatives &a) { return a.box == box && !a.keyTest.isEmpty(); });
}

QString CombinedQuery::serverTests(data::Engine &engine, bool keys)
{
    m_parameters.clear();
    QString where = QStringLiteral("1=1");
    for (const data::SearchCriterion &c : m_typed) {
        QStringList texts{c.typed};
        if (const QString simplified = pinyin::toSimplified(c.typed); simplified != c.typed)
            texts << simplified;
        QStringList either;
        for (int t = 0; t < texts.size(); ++t) {
            const QString parameter = QStringLiteral(":p%1").arg(c.box) + (t ? QStringLiteral("s") : QString());
            QString pattern;
            QStringList columns;
            for (const QString &column : data::boxColumns(c.box))
                columns << engine.containsTest(column, parameter, texts[t], pattern);
            // The plant-form box tests either of its two columns.
            either << (columns.size() == 2 ? QStringLiteral("( %1   or  %2)").arg(columns[0], columns[1]) : columns[0]);
            m_parameters.emplace_back(parameter.mid(1), pattern);
        }
        if (keys && hasKeyTest(c.box)) {
            const Alternatives &a = *std::find_if(m_alternatives.begin(), m_alternatives.end(),
                                                  [&c](const Alternatives &x) { return x.box == c.box; });
            const auto [from, to] = data::nameKeyBounds(a.latin);
            m_parameters.emplace_back(QStringLiteral("k%1a").arg(c.box), from);
            m_parameters.emplace_back(QStringLiteral("k%1b").arg(c.box), to);
            either << a.keyTest;
        }
        where += QStringLiteral(" and ") + (either.size() == 1 ? either[0] : QLatin1Char('(') + either.join(QStringLiteral(" or ")) + QLatin1Char(')'));
    }
    return where;
}

QString CombinedQuery::serverStatement(data::Engine &engine, const QString &where)
{
    return QStringLiteral("select ID,类别,药物名称,LB from DRUG_ZB  where ") + where + QStringLiteral(" order by ")
           + engine.listOrder();
}
