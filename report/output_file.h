#pragma once
// Writing the report where the user asked for it. A file is first written in full under a new
// name in the folder of its place, with mode 0600, and then renamed into place: a reader never
// sees half a file, a failure leaves what stood there before, and only the user can read the
// rights it lists.

#include <stdexcept>
#include <string>
#include <string_view>

#include "export/workbook.h"

namespace permscope::report {

// What could not be written, and why, in words for the user.
class OutputError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

void write_output_file(const std::string& path, std::string_view content);
void write_output_workbook(const std::string& path, const spreadsheet::Workbook& workbook);

// Writes all of content to standard output.
void write_standard_output(std::string_view content);

}  // namespace permscope::report
