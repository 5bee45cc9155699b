#include "tools/SyntheticData.h"
#include "tools/SyntheticNames.h"
#include "data/DatabaseBuilder.h"
#include "data/DbError.h"

#include <random>

namespace tools {

void buildSynthetic(const QString &outPath, int drugs, int categories, unsigned seed, bool overwrite)
{
    if (drugs < 0 || categories < 1)
        throw data::DbError(QStringLiteral("药物数不能为负，类别数至少为 1（药物 %1，类别 %2）").arg(drugs).arg(categories));
    std::mt19937 random(seed);
    static const QString pool = QStringLiteral(
        "草木花叶根茎皮子仁实果藤枝香黄白青红紫黑金银山地川南北参芪术苓归芍芎连柏栀芩"
        "苦甘辛酸咸温凉寒热平气血阴阳肺脾肾肝心胃经络风湿痰瘀虚实补泻清解散收敛利水止痛");
    auto chinese = [&](int length) {
        QString s;
        s.reserve(length);
        std::uniform_int_distribution<int> pick(0, int(pool.size()) - 1);
        for (int i = 0; i < length; ++i) {
            s += pool[pick(random)];
            if (i % 23 == 22)
                s += QStringLiteral("，");
        }
        return s + QStringLiteral("。");
    };
    auto latin = [&](int length) {
        QString s;
        std::uniform_int_distribution<int> pick(0, 25);
        for (int i = 0; i < length; ++i)
            s += (i % 9 == 8) ? QChar(' ') : QChar('a' + pick(random));
        return s;
    };
    auto around = [&](int mean) { return std::uniform_int_distribution<int>(mean / 2, mean * 3 / 2)(random); };

    data::DrugContent content;
    for (int c = 0; c < categories; ++c)
        content.categories.push_back({QStringLiteral("%1").arg(c + 1, 3, 10, QLatin1Char('0')),
                                      chinese(3).chopped(1) + QStringLiteral("药%1").arg(c + 1)});
    content.drugs.reserve(size_t(drugs));
    // Names and other names that read like real ones, for the name keys.
    SyntheticNames names(seed);
    for (int i = 0; i < drugs; ++i) {
        data::DrugContent::Drug d;
        d.values << content.categories[size_t(i % categories)].bm
                 << names.name(i)
                 << latin(around(28))
                 << names.otherNames()
                 << chinese(around(60))
                 << chinese(around(240))
                 << ((i % 3 == 0) ? chinese(around(120)) : QString())
                 << chinese(around(40))
                 << chinese(around(60))
                 << chinese(around(60))
                 << chinese(around(16))
                 << chinese(around(70)) + QStringLiteral("证型%1。").arg(i % 1200, 4, 10, QLatin1Char('0'))
                 << chinese(around(80));
        content.drugs.push_back(d);
    }
    content.help.push_back({QStringLiteral("01"), QStringLiteral("基准测试数据"),
                            QStringLiteral("本数据库由程序生成，仅用于性能测试。"), true});
    data::DatabaseBuilder::build(content, outPath, overwrite);
}

} // namespace tools
