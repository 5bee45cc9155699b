#pragma once

#include <QString>
#include <QStringList>
#include <QStringView>
#include <span>

namespace data {

// How the drug entry page edits a field.
enum class Editor {
    NameBox,          // Edit1: the name that loads the record
    CategoryDropDown, // DBLookupComboBox1: LB, shown by its category's name
    Line,             // a one-line bound editor
    Memo,             // a multi-line bound editor, one row of the page each
    None,             // kept by the database itself
};

// How the record sheet shows a field.
enum class SheetItem {
    Own,       // an item with its own label
    Continues, // its value follows the item before, under that item's label
    None,
};

// One column of DRUG_ZB that a drug record carries, with everything the
// program shows of it. A new field is a row here, a column in schema.sql,
// and a column in derived.sql's triggers (a test holds those to this list);
// the entry page and the combined page give it a place on screen.
struct DrugField {
    QStringView column;
    SheetItem sheet;
    QStringView sheetLabel; // the sheet's label, blank included
    Editor editor;
    QStringView entryLabel;
    int box;                // the combined search's box, 1 to 12; 0: none
    QStringView boxLabel;
    // The search index's number for the field: part of every key stored in
    // a file, so it never changes, whatever the boxes' order. -1: not indexed.
    int indexField;
};

// In the order of DRUG_ZB's columns (ID aside).
inline constexpr DrugField DrugFields[] = {
    {u"LB", SheetItem::None, {}, Editor::CategoryDropDown, u"类别：", 0, {}, -1},
    {u"药物名称", SheetItem::Own, u"【药物名称】： ", Editor::NameBox, u"药物名称：", 2, u"药物名称：", 1},
    {u"类别", SheetItem::Own, u"【类    别】： ", Editor::None, {}, 10, u"类别：", 9},
    {u"英文名称", SheetItem::Own, u"【英文名称】： ", Editor::Line, u"英文名称：", 11, u"英文名称：", 10},
    {u"别名", SheetItem::Own, u"【别    名】： ", Editor::Memo, u"别名：", 3, u"别名：", 2},
    {u"来源", SheetItem::Own, u"【来    源】： ", Editor::Memo, u"来源：", 8, u"来源：", 7},
    {u"植物形态1", SheetItem::Own, u"【植物形态】： ", Editor::Memo, u"植物形态一：", 9, u"植物形态：", 8},
    {u"植物形态2", SheetItem::Continues, {}, Editor::Memo, u"植物形态二：", 9, u"植物形态：", 8},
    {u"生长地", SheetItem::Own, u"【生 长 地】： ", Editor::Memo, u"生长地：", 5, u"生长地：", 4},
    {u"采制", SheetItem::Own, u"【采    制】： ", Editor::Memo, u"采制：", 7, u"采制：", 6},
    {u"化学成分", SheetItem::Own, u"【化学成分】： ", Editor::Memo, u"化学成分：", 6, u"化学成分：", 5},
    {u"性味", SheetItem::Own, u"【性    味】： ", Editor::Memo, u"性味：", 4, u"性味：", 3},
    {u"功能主治", SheetItem::Own, u"【功能主治】： ", Editor::Memo, u"功能主治：", 1, u"功能主治：", 0},
    {u"附注", SheetItem::Own, u"【附    注】： ", Editor::Memo, u"附注：", 12, u"附注：", 11},
};

inline constexpr int SearchBoxCount = 12;

constexpr int countFields(Editor editor)
{
    int n = 0;
    for (const DrugField &f : DrugFields)
        n += f.editor == editor;
    return n;
}

// The first field edited with `editor`.
constexpr size_t fieldWith(Editor editor)
{
    size_t i = 0;
    while (i < std::size(DrugFields) && DrugFields[i].editor != editor)
        ++i;
    return i;
}

constexpr int countSheetItems()
{
    int n = 0;
    for (const DrugField &f : DrugFields)
        n += f.sheet == SheetItem::Own;
    return n;
}

// The columns a drug record is written with, in the list's order: every
// field but the ones the database keeps (类别).
QStringList drugColumns();

// The indexed columns in the list's order, which is the order DRUG_ZB_DIRTY
// and its triggers name them.
QStringList indexedColumns();

// The columns box `box` (1 to 12) tests; the plant-form box tests two.
QStringList boxColumns(int box);
// The label of box `box`.
QString boxLabel(int box);
// The search index's field of box `box`'s columns.
int boxIndexField(int box);

} // namespace data
