#include "pinyin/Readings.h"
#include "pinyin/NameKeys.h"
#include "core/Error.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>

namespace pinyin {

namespace {

[[noreturn]] void refuse(const QString &source, qsizetype entry, const QString &what)
{
    throw core::Error(QStringLiteral("%1: 第 %2 项：%3").arg(source).arg(entry + 1).arg(what));
}

} // namespace

const ReviewedReadings &ReviewedReadings::builtIn()
{
    static const ReviewedReadings readings = [] {
        ReviewedReadings r;
        r.addFolder(QStringLiteral(":/readings"));
        return r;
    }();
    return readings;
}

bool ReviewedReadings::wellFormed(const QString &name, const QString &reading)
{
    static const QRegularExpression form(QStringLiteral("^[a-z0-9]+( [a-z0-9]+)*$"));
    return form.match(reading).hasMatch() && reading.count(u' ') + 1 == readingUnits(name).size();
}

void ReviewedReadings::add(const QByteArray &json, const QString &source)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(json, &error);
    if (error.error != QJsonParseError::NoError)
        throw core::Error(QStringLiteral("%1: 位置 %2：%3").arg(source).arg(error.offset).arg(error.errorString()));
    if (!document.isArray())
        throw core::Error(QStringLiteral("%1: 应为数组").arg(source));
    const QJsonArray entries = document.array();
    for (qsizetype i = 0; i < entries.size(); ++i) {
        const QJsonObject entry = entries[i].toObject();
        const QString name = entry.value(QStringLiteral("药物名称")).toString();
        if (name.isEmpty())
            refuse(source, i, QStringLiteral("缺少药物名称"));
        const auto take = [&](const QString &text, const QJsonValue &value) {
            const QJsonArray list = value.toArray();
            if (list.isEmpty())
                refuse(source, i, QStringLiteral("%1 没有读音").arg(text));
            QStringList &known = m_readings[text];
            for (const QJsonValue &r : list) {
                const QString reading = r.toString();
                if (!wellFormed(text, reading))
                    refuse(source, i, QStringLiteral("%1 的读音“%2”不合格式").arg(text, reading));
                if (!known.contains(reading))
                    known << reading;
            }
        };
        take(name, entry.value(QStringLiteral("拼音")));
        const QJsonValue others = entry.value(QStringLiteral("别名"));
        if (!others.isUndefined() && !others.isObject())
            refuse(source, i, QStringLiteral("别名应为对象"));
        const QJsonObject map = others.toObject();
        for (auto it = map.begin(); it != map.end(); ++it)
            take(it.key(), it.value());
    }
}

void ReviewedReadings::addFolder(const QString &folder)
{
    const QDir dir(folder);
    for (const QString &file : dir.entryList({QStringLiteral("*.json")}, QDir::Files, QDir::Name)) {
        QFile f(dir.filePath(file));
        if (!f.open(QIODevice::ReadOnly))
            throw core::Error(QStringLiteral("%1: %2").arg(f.fileName(), f.errorString()));
        add(f.readAll(), f.fileName());
    }
}

} // namespace pinyin
