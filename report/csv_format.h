#pragma once
// The users list as comma-separated values, as RFC 4180 writes them: fields separated by commas,
// every line ended by CR LF, a field quoted (its quotes doubled) when it holds a comma, a quote, CR
// or LF. UTF-8 without a byte-order mark; bytes that are no well-formed UTF-8 are mended.

#include <string>
#include <string_view>
#include <vector>

#include "report/folder_report.h"

namespace permscope::report {

// One line of fields, ended by CR LF.
std::string csv_line(const std::vector<std::string_view>& fields);

// "Folder,Name,Group,Rights": the folder, then the users list's columns.
std::string csv_header();

// One line per row of the users list, in list order: the folder as given, then the row's texts as
// the window's columns show them.
std::string folder_csv_lines(const FolderReport& report);

}  // namespace permscope::report
