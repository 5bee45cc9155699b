#pragma once

#include <QString>

// The statements the window's pages run, each in one place: the pages set
// them on their datasets, and the benchmark runs the very same text through
// the bare engine as their floor. The combined search's statement is
// CombinedQuery's; the save's update is the dataset's own. Functions, not
// constants: a literal QString costs nothing to return and has no order of
// static initialisation to get wrong.
namespace data::sql {

// The simple query page's category tree: the categories, then one statement
// per category.
inline QString categories() { return QStringLiteral("select BM,MC from DRUG_LB"); }
inline QString categoryDrugs() { return QStringLiteral("select ID,药物名称 from DRUG_ZB where LB=:lb"); }
// The record sheet of one drug.
inline QString sheet() { return QStringLiteral("select * from  DRUG_ZB where ID=:id"); }
// The search by exact name.
inline QString byName() { return QStringLiteral("select ID from DRUG_ZB where 药物名称=:name"); }
// The entry page: the drop-down's categories, the record by its name, the delete.
inline QString categoryList() { return QStringLiteral("select * from DRUG_LB"); }
inline QString record() { return QStringLiteral("select * from DRUG_ZB  where 药物名称=:name"); }
inline QString deleteDrug() { return QStringLiteral("delete from DRUG_ZB where ID=:id"); }
// The help page: its topics, and the text of one.
inline QString helpTopics() { return QStringLiteral("select BM,MC from HELP_LB"); }
inline QString helpText() { return QStringLiteral("select  *  from HELP_ZB where LB=:lb"); }

} // namespace data::sql
