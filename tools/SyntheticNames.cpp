#include "tools/SyntheticNames.h"

#include <QStringList>
#include <numeric>

namespace {

QStringList list(const char16_t *joined)
{
    return QString::fromUtf16(joined).split(u'、', Qt::SkipEmptyParts);
}

const QStringList &bases()
{
    static const QStringList l = list(u"麻黄、紫苏叶、香薷、防风、白芷、藁本、辛夷、胡荽、薄荷、蝉蜕、菊花、柴胡、葛根、浮萍、石膏、知母、天花粉、淡竹叶、栀子、决明子、密蒙花、黄芩、黄柏、秦皮、白鲜皮、连翘、大青叶、青黛、野菊花、拳参、土茯苓、金荞麦、败酱草、山豆根、青果、金果榄、白头翁、鸦胆子、委陵菜、半边莲、熊胆粉、白蔹、绿豆、玄参、赤芍、水牛角、白薇、银柴胡、大黄、番泻叶、火麻仁、松子仁、京大戟、商陆、巴豆霜、独活、川乌、秦艽、桑寄生、蕲蛇、乌梢蛇、伸筋草、海风藤、丁公藤、穿山龙、豨莶草、海桐皮、雷公藤、丝瓜络、千年健、鹿衔草、广藿香、苍术、砂仁、草豆蔻、茯苓、猪苓、车前子、木通、金钱草、玉米须、香加皮、泽漆、荠菜、瞿麦、地肤子、石韦、灯心草、虎杖、垂盆草、珍珠草、干姜、吴茱萸、丁香、高良姜、荜茇、陈皮、枳实、沉香、川楝子、枳壳、乌药、佛手、玫瑰花、娑罗子、甘松、刀豆、山楂、麦芽、鸡内金、鸡矢藤、阿魏、苦楝皮、南瓜子、雷丸、榧子、小蓟、地榆、侧柏叶、苎麻根、三七、蒲黄、降香、仙鹤草、棕榈炭、藕节、艾叶、灶心土、延胡索、姜黄、没药、夏天无、红花、益母草、牛膝、鸡血藤、凌霄花、马钱子、苏木、血竭、刘寄奴、三棱、虻虫、穿山甲、天南星、白芥子、旋覆花、猫爪草、浙贝母、竹茹、天竺黄、桔梗、海藻、黄药子、海浮石、礞石、紫苏子、紫菀、马兜铃、桑白皮、白果、洋金花、磁石、琥珀、柏子仁、缬草、合欢皮、石决明、赭石、牛黄、天麻、珍珠母、蒺藜、地龙、僵蚕、冰片、石菖蒲、人参、党参、白术、甘草、鹿茸、杜仲、补骨脂、当归、白芍、何首乌、麦冬、石斛、龟甲、太子参、玉竹、百合、墨旱莲、肉苁蓉、鹿角胶、刺五加、红景天、饴糖、紫河车、");
    return l;
}

const QStringList &otherWords()
{
    static const QStringList l = list(u"赤木、嫩桑枝、西黄、流星草、回头参、白砒、天藕儿、青菀、北鲜皮、刺榆子、紫油桂、连母、地苦胆、和尚头、洋参、山菊花、荔仁、鸦蛋子、淮山药、银花、头痛花、黑胡椒、榄核莲、钩丁、狗尾巴子、红椒、马蹄决明、左秦艽、脱力草、上党人参、松郎头、麻子、紫丹参、车前实、元参、东瓜皮、大室、熊胆、大青、二花、斑庄根、药枣、红粉、良枣、龙枣、鹿胶、上甲、杏仁、贯芎、屁巴虫、芒芋、刺玫花、马屁勃、元胡、大黄蜂窠、肉蔻、猫爪儿草、禁生、白根、狼头花、线麻子、臭椿皮、省头草、石蓝、肥猪草、楮实、独根、芦柴根、大活血、虎兰、鸡栖子、鲜竹沥、蜀枣、白沙参、紫地丁、鸡腿根、天名精子、独茅、青缸花、空翘、红蓝花、寸冬、红茜草、灵芝草、栝蒌、蝉衣、野向日葵、海蒿子、紫油厚朴、麻子仁、随风子、忍冬花、谷香、花梨母、巴东独活、甘香松、定风草、鲍鱼壳、交剪草、茅术、杜兰、文贝、柏叶、南五加皮、牛角花、丛柏叶、药菖蒲、青蛤壳、白龙骨、蜜香、豨莶、药包子、薏仁、火莶、海南沉香、莎草根、鬼卿、元眼肉、脱石、索子果、野菠菜、香茸、寻风藤、扫盆、葫芦罐、月月花、黑丑、苦丁香、川黄柏、葳蕤、左壳、明天麻、蝎子、羚羊、重台、韭子、珠母、苦胆草、臭五加、婆婆丁、黄仔强、杭白芍、破血丹、杞根、长皂荚、雅连、生地、龙沙、黄丹、植豆、赤苏子、亳菊、黄菊仔、瓜子草、曼陀罗花、九空子、棠球子、全瓜蒌、百条根、仙茅参、邛钜、泻叶、脂麻、扁豆、葫芦巴、水马、坤草、金牛胆、干地黄、鹅管白前、花槟榔、胡桃仁、鹿蹄草、毕石、蝉壳、花斑竹、树脑、麻辣子藤、荆子、灶中黄土、鸦胆、熏渠、石黄、夜牵牛、北苍术、羊栖菜、蛮姜、三仙丹、百虫仓、光三棱、风姜、通脱木、台乌药、明珠母、广陈皮、铁扫把子、鹿葱、春梅、南柴胡、地薰、");
    return l;
}

const QStringList &prefixes()
{
    static const QStringList l = QStringList{QString()} +
        list(u"炒、生、制、炙、焦、酒、醋、盐、蜜、煅、川、广、云、北、南、怀、杭、浙、建、西、东、关、野、鲜、净、土、江、台、山、");
    return l;
}

const QStringList &suffixes()
{
    static const QStringList l = QStringList{QString()} +
        list(u"片、炭、粉、根、叶、花、子、皮、仁、须、梗、霜、膏、丝、节、末、头、尾、心、块、段、干、汁、藤、");
    return l;
}

} // namespace

namespace tools {

QString SyntheticNames::name(int i) const
{
    const qint64 p = prefixes().size(), b = bases().size(), s = suffixes().size(), all = p * b * s;
    // A stride prime to the count visits every combination once, spread out.
    qint64 stride = 7919;
    while (std::gcd(stride, all) != 1)
        stride += 2;
    const qint64 j = (qint64(i) % all) * stride % all;
    QString text = prefixes()[j / (b * s)] + bases()[j / s % b] + suffixes()[j % s];
    if (i >= all)
        text += QString::number(i / all);
    return text;
}

QString SyntheticNames::otherNames()
{
    const int count = std::uniform_int_distribution<int>(0, 9)(m_random);
    std::uniform_int_distribution<int> percent(0, 99);
    QStringList names;
    for (int k = 0; k < count; ++k) {
        const int kind = percent(m_random);
        const QString &word = otherWords()[std::uniform_int_distribution<int>(0, int(otherWords().size()) - 1)(m_random)];
        const QString &prefix = prefixes()[std::uniform_int_distribution<int>(1, int(prefixes().size()) - 1)(m_random)];
        if (kind < 50)
            names << word;
        else if (kind < 80)
            names << prefix + word;
        else
            names << prefix + bases()[std::uniform_int_distribution<int>(0, int(bases().size()) - 1)(m_random)];
    }
    return names.join(u'、');
}

} // namespace tools
