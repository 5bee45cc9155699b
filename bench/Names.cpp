// The name box's drop-down: one keystroke's look-up and list, for texts typed
// as pinyin initials, full pinyin and traditional characters, each beside
// the same match by a full scan over the names (their keys made as they are
// read).
#include "Worker.h"
#include "app/MainForm.h"
#include "data/Connection.h"
#include "pinyin/NameFinder.h"
#include "pinyin/NameKeys.h"
#include "pinyin/TypedName.h"
#include "widgets/LabeledEdit.h"
#include "widgets/NameCompleter.h"
#include "widgets/PageControl.h"

#include <opencc/opencc.h>

#include <QElapsedTimer>
#include <memory>

namespace bench {

namespace {

// Simplified to traditional, for the texts a reader of traditional
// characters types.
QString traditional(const QString &text)
{
    struct Closer {
        void operator()(void *h) const { opencc_close(h); }
    };
    static const std::unique_ptr<void, Closer> converter(opencc_open("s2t.json"));
    if (converter.get() == reinterpret_cast<void *>(-1) || !converter)
        fail(QStringLiteral("names: OpenCC's s2t cannot be loaded"));
    const QByteArray in = text.toUtf8();
    char *out = opencc_convert_utf8(converter.get(), in.constData(), size_t(in.size()));
    const QString converted = QString::fromUtf8(out);
    opencc_convert_utf8_free(out);
    return converted;
}

} // namespace

void Worker::names()
{
    TFormMain &form = *m_form;
    form.Pc->setActivePage(TFormMain::SimpleQueryPage);
    form.PcChange();
    settle();
    const auto drug = [this](int i) -> const Drug & { return m_sample[size_t(i) % m_sample.size()]; };
    const int count = reps({200, 200, 200});
    struct Way {
        QString operation;
        std::function<QString(const QString &name)> typed; // what is typed for a name in full
    };
    const std::vector<Way> ways{
        {QStringLiteral("pinyin initials"), [](const QString &name) { return pinyin::nameKeys(name).initials.value(0); }},
        {QStringLiteral("full pinyin"), [](const QString &name) { return pinyin::nameKeys(name).full.value(0); }},
        {QStringLiteral("traditional characters"), [](const QString &name) { return traditional(name); }},
    };
    for (const Way &way : ways) {
        // Every keystroke of the text: run i types its first (i % length) + 1 characters.
        std::vector<QString> texts;
        for (int i = 0; i <= count; ++i) {
            const QString whole = way.typed(drug(i).name);
            texts.push_back(whole.left(i % std::max<qsizetype>(whole.size(), 1) + 1));
        }
        measure(way.operation, count, [&](int i) { form.LabeledEdit_mc->setText(texts[size_t(i)]); },
                [&](int) { form.NameList->refresh(); }, {}, true,
                QStringLiteral("one keystroke: the look-up and the list, for every prefix of the drugs' texts"));
        const QString whole = way.typed(drug(0).name);
        form.LabeledEdit_mc->setText(whole);
        form.NameList->refresh();
        const auto &shown = form.NameList->matches();
        if (std::none_of(shown.begin(), shown.end(), [&](const pinyin::NameMatch &m) { return m.id == drug(0).id; }))
            fail(QStringLiteral("%1: %2 does not list %3").arg(way.operation, whole, drug(0).name));
        form.NameList->close();

        // The anchor: every drug's name and other names read and their keys
        // made, then the start of the typed text tested against them.
        const int scans = reps({5, 3, 3});
        std::vector<double> times;
        int lastFound = 0;
        for (int i = 0; i <= scans; ++i) {
            QElapsedTimer timer;
            timer.start();
            const pinyin::TypedName typed = pinyin::typedName(texts[size_t(i)]);
            const auto starts = [&](const QString &stored) {
                return stored.startsWith(typed.text) || stored.startsWith(typed.simplified);
            };
            int found = 0;
            // Through the connection's engine: the file's or the server's.
            data::Query &rows = form.MainConnection.query(QStringLiteral("select ID, 药物名称, 别名 from DRUG_ZB"));
            while (rows.step()) {
                const QString name = rows.text(1);
                bool match = starts(name);
                for (const QString &other : pinyin::otherNames(rows.text(2)))
                    match = match || starts(other);
                if (!match && !typed.latin.isEmpty()) {
                    const pinyin::NameKeys keys = pinyin::nameKeys(name);
                    for (const QStringList *list : {&keys.full, &keys.initials})
                        for (const QString &key : *list)
                            match = match || key.startsWith(typed.latin);
                }
                found += match;
            }
            rows.reset();
            if (i > 0)
                times.push_back(double(timer.nsecsElapsed()) / 1e6);
            if (found == 0)
                fail(QStringLiteral("%1: the full scan finds nothing for %2").arg(way.operation, texts[size_t(i)]));
            lastFound = found;
        }
        Result &r = m_results.last();
        r.anchor = statsOf(times);
        r.anchorKind = QStringLiteral("full scan");
        // The scan is the reference itself, so it is correct by definition;
        // its rows are those of the last text scanned (each scan types another).
        r.anchors << QJsonObject{{QStringLiteral("kind"), r.anchorKind}, {QStringLiteral("stats"), toJson(*r.anchor)},
                                 {QStringLiteral("rows"), lastFound}, {QStringLiteral("correct"), true}};
    }
}

} // namespace bench
