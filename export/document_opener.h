#pragma once
// Handing a finished file to the desktop: the program that opens it is started on its own, in a
// session of its own, and is never waited for.

#include <string>
#include <vector>

namespace permscope::spreadsheet {

// The executable file called name in one of the folders of search_path (":"-separated, as PATH;
// empty entries are skipped, so the current folder is never searched), or an empty text.
std::string find_program(const std::string& name, const std::string& search_path);

// Starts the program at path (absolute) with arguments (arguments[0] is its own name) detached:
// it becomes a child of the system, not of this process, with standard input from /dev/null and
// no other open file of ours. Returns whether the program could be executed.
bool start_detached(const std::string& path, const std::vector<std::string>& arguments);

// Opens file as a new untitled spreadsheet: "soffice --calc -n FILE" where LibreOffice's
// soffice is on search_path, else "xdg-open FILE". Returns false when neither starts.
bool open_as_untitled_spreadsheet(const std::string& file, const std::string& search_path);

}  // namespace permscope::spreadsheet
