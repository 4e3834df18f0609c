#pragma once
// One folder's result as the report command writes it, in any format: the folder as the user gave
// it, the two lists the window would show for it, whether they are complete, and the head groups as
// the window's export lays them out. In a walk over many folders, folders with the same access
// list share their lists.

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "common/result_list.h"
#include "export/workbook.h"
#include "rights/folder_reader.h"

namespace permscope::report {

struct FolderReport {
    std::string folder;   // as the user gave it
    std::string problem;  // why the lists are incomplete, one message a line; empty when complete
    std::shared_ptr<const rights::FolderLists> lists = std::make_shared<rights::FolderLists>();

    const ResultList& users() const { return lists->users; }    // the window's LvUser
    const ResultList& groups() const { return lists->groups; }  // the window's LvGroups
    bool complete() const { return problem.empty(); }
};

// The folder's access list could not be read; what() is the cause in words for the user.
class FolderUnreadable : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// Reads report.folder into lists exactly as the window reads a folder, and gives the report those
// lists and what made them incomplete. Throws FolderUnreadable when the folder cannot be read.
void read_folder(rights::FolderReader& reader, FolderReport& report,
                 std::shared_ptr<rights::FolderLists> lists);

// The workbook that the window's "Excel Export" makes of the report's lists: sheet "Rechte".
spreadsheet::Workbook exported_workbook(const FolderReport& report);

struct HeadGroupMember {
    std::string name;
    std::string rights;
};

struct HeadGroup {
    std::string name;
    std::vector<HeadGroupMember> members;
};

// The head groups of the export's sheet as it lays them out: each name in column A, with the
// users named in columns B (name) and C (rights) of the rows below it, up to the next group.
std::vector<HeadGroup> head_groups(const spreadsheet::Sheet& rechte);

}  // namespace permscope::report
