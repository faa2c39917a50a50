// Schema: the tables and columns of a document database and every statement the reader issues.
#pragma once

#include <QString>

namespace docdb {

/// Table and column names of a document database (written by the companion editor).
namespace schema {
inline constexpr auto tbTree = "tbTree"; // one row per parent-to-child edge of the page tree
inline constexpr auto msDoc = "msDoc";   // one row per page document
inline constexpr auto msDxml = "msDxml"; // attached XML documents
inline constexpr auto kaUsr = "kaUsr";   // database marker

inline constexpr auto noLfP = "noLfP";   // parent page number (0 = top level)
inline constexpr auto noLfC = "noLfC";   // child page number (= msDoc.noDoc)
inline constexpr auto inSrt = "inSrt";   // order among siblings
inline constexpr auto szDoc = "szDoc";   // title
inline constexpr auto boLnk = "boLnk";   // 1 = link placement
inline constexpr auto boHide = "boHide"; // 1 = left out of the run-through
inline constexpr auto dyUdt = "dyUdt";   // last change
inline constexpr auto noDoc = "noDoc";   // page number (key)
inline constexpr auto obDoc = "obDoc";   // stored document (Null = empty page)
inline constexpr auto txDoc = "txDoc";   // plain text
inline constexpr auto boCod = "boCod";   // 1 = code page
inline constexpr auto noDxml = "noDxml"; // XML document number
inline constexpr auto smDxml = "smDxml"; // XML text
inline constexpr auto DmFmt = "DmFmt";   // marker column
} // namespace schema

/// Statement texts, exactly as the reader issues them (leading and trailing blanks included).
namespace sql {
// Marker check on open and after opening.
inline const QString kMarkerOpen = QStringLiteral("Select DmFmt from kaUsr");
inline const QString kMarkerCheck = QStringLiteral("Select DmFmt From kaUsr");
// Children of a tree node ("?" replaced by the parent number as plain text).
inline const QString kChildren = QStringLiteral("Select T.noLfC, T.szDoc, T.boLnk, D.boCod") +
                                 QStringLiteral(" From tbTree T, msDoc D") +
                                 QStringLiteral(" Where T.noLfC = D.noDoc And T.noLfP = ? Order By T.inSrt ");
// Has the node children (+ number).
inline const QString kChildCount = QStringLiteral("Select Count(*) From tbTree Where noLfP= ");
// Which children of a node have children of their own, all in one statement ("?" replaced by the
// node's number as plain text): the child numbers that kChildCount would count at least one row for.
inline const QString kChildParents = QStringLiteral("Select noLfP From tbTree Where noLfP In") +
                                     QStringLiteral(" (Select noLfC From tbTree Where noLfP = ?) Group By noLfP");
// Home parent of a page (+ number).
inline const QString kHomeParent = QStringLiteral("Select noLfP From tbtree Where boLnk=0 And noLfC = ");
// Find: every document, or those whose text meets the conditions.
inline const QString kFindAll = QStringLiteral(" Select noDoc, szDoc From msDoc Order By szDoc ");
inline const QString kFindWhere = QStringLiteral(" Select noDoc, szDoc From msDoc Where ");
inline const QString kFindOrder = QStringLiteral(" Order By szDoc ");
// Code list of a code page ("?" replaced by the parent number as plain text).
inline const QString kCodeList = QStringLiteral("Select T.noLfC, T.szDoc, D.dyUdt") +
                                 QStringLiteral(" From tbTree T, msDoc D") +
                                 QStringLiteral(" Where T.noLfC = D.noDoc And T.noLfP = ? Order By D.dyUdt Desc");
// Rename and date stamp (templates for T_CnvSq).
inline const QString kRename = QStringLiteral("Update tbTree Set szDoc='?' Where noLfP=? and noLfC=?");
inline const QString kStamp = QStringLiteral(" Update tbTree Set ? = ? Where noLfP = ? And noLfC = ? ");
// Document of a page (+ number).
inline const QString kDocument = QStringLiteral(" Select obDoc, szDoc From msDoc Where noDoc = ");
// The placements below a page (+ number, then kRunOrder), for an export of its branch.
inline const QString kBranchChildren = QStringLiteral(" Select noLfC, szDoc, boLnk, boHide From tbTree Where noLfP = ");
// Title of a page (+ number), for the offer to go on where the last reading ended.
inline const QString kTitle = QStringLiteral(" Select szDoc From msDoc Where noDoc = ");
// Attached XML (+ number).
inline const QString kDxml = QStringLiteral("Select smDxml From msDxml Where noDxml=");
// Page run-through: " Select noLfC From tbTree" + " Where noLfP=" + number + " And boHide <> 1 " + " Order By inSrt ".
inline const QString kRunSelect = QStringLiteral(" Select noLfC From tbTree");
inline const QString kRunWhere = QStringLiteral(" Where noLfP=");
inline const QString kRunHide = QStringLiteral(" And boHide <> 1 ");
inline const QString kRunOrder = QStringLiteral(" Order By inSrt ");
} // namespace sql

} // namespace docdb
