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

// A report written piece by piece as it is made, so that a report of any size is never held whole:
// to standard output, or to a file that replaces path when it is finished, as above. A file that
// is not finished is removed.
class OutputStream {
  public:
    // path empty: standard output.
    explicit OutputStream(std::string path);
    ~OutputStream();
    OutputStream(const OutputStream&) = delete;
    OutputStream& operator=(const OutputStream&) = delete;

    void write(std::string_view text);
    void finish();

  private:
    void flush();

    std::string path_;
    std::string temporary_;
    int fd_ = -1;
    std::string pending_;  // written in blocks
};

// The folder a file of that path goes into: "." for a bare name.
std::string folder_of(const std::string& path);

// A new private file (mode 0600) in the folder of path, for a writer that writes it by name;
// move_into_place renames it to path when it is complete, or removes it.
std::string reserve_output_beside(const std::string& path);
void move_into_place(const std::string& temporary, const std::string& path);

}  // namespace permscope::report
