#pragma once
// MoAusgabe: the "Excel Export" of the main window. Writes every head group of the result lists
// into column A of a new workbook's sheet "Rechte", and under each group every user who belongs to
// it directly or through nested groups: name in column B, rights in column C.

#include <memory>
#include <string>

#include "common/result_list.h"
#include "export/application.h"

namespace permscope::spreadsheet {

// Shared by every level of one nested search; Excel_export sets it to false before each search.
// Like the result lists, it belongs to the user-interface thread.
extern bool SubGroupFound;

// groups: LvGroups (Name, HeadGroup, SubGroups, Rights); users: LvUser (Name, Group, Rights).
// With blnNested only head groups are exported and users count as members also through nested
// groups; without it every group row is exported with its direct members. Automation calls that
// fail are skipped; the export never throws because of them. Returns, as a message for the user,
// why the workbook never reached them (no folder took its file); empty otherwise.
std::string Excel_export(const ResultList& groups, const ResultList& users, bool blnNested,
                         ApplicationFactory& factory);

// True when name, with leading blanks removed, is one of the SubGroups names (each with its
// leading blanks removed) of the group row at row or of any group row reached from there by
// following SubGroups names; ORed into SubGroupFound, whose value is returned. Each row is
// searched once, so cycles end. Throws std::out_of_range when row names no group row.
bool SubGroup_check(const ResultList& groups, const std::string& name, ResultList::Position row);

}  // namespace permscope::spreadsheet
