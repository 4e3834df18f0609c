#pragma once
// Two reports of the same folders compared: what changed in the users lists, one line per change,
// fields separated by tabs, folder by folder in the walk's order and within a folder by account:
//   +  FOLDER  ACCOUNT  RIGHTS     the account gained rights on the folder
//   -  FOLDER  ACCOUNT  RIGHTS     the account lost its rights on the folder
//   ~  FOLDER  ACCOUNT  OLD  NEW   the account's rights text changed
//   +  FOLDER                      the folder appeared
//   -  FOLDER                      the folder disappeared
//   !  FOLDER  OLD  NEW            the folder could be read in one report and not in the other:
//                                  each report's cause, empty where it was read; its accounts are
//                                  not compared, as the unread list is not known
// A folder reported as the same as its parent is compared by the users list it has through its
// parent. Control characters in a text (a tab or a line end in a folder's name) are written as
// C escapes ("\t", "\n", "\x1b"), so that no text can make a line of its own.

#include <stdexcept>
#include <string>

namespace permscope::report {

// A report that cannot be compared: not readable, no JSON, or not of a report's shape.
class ReportUnreadable : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

struct Comparison {
    std::string lines;  // the changes
    // For the user: a report made while the directory failed ("complete": false) shows changes
    // that may be none. One line each such report; empty when both are complete.
    std::string notes;
};

// Reports as permscope-report writes them in JSON: a walk's ({"root", "folders": […]}) or one
// folder's ({"folder", "users": […]}). name says which report a note or an error is about.
Comparison compare_reports(const std::string& old_json, const std::string& old_name,
                           const std::string& new_json, const std::string& new_name);

// Reads a whole file; throws ReportUnreadable naming it and the cause.
std::string report_file_text(const std::string& path);

}  // namespace permscope::report
