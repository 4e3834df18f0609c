#pragma once
// The command line of permscope-report:
//   permscope-report [--format xlsx|csv|json] [--output FILE] FOLDER
// and --help, --version. Parsed by Qt's QCommandLineParser; a QCoreApplication must exist.

#include <string>
#include <variant>

namespace permscope::report {

enum class Format { Csv, Json, Xlsx };

struct Options {
    Format format = Format::Csv;
    std::string output;  // empty: standard output
    std::string folder;  // as given: any path the window's path box takes
};

// The program ends at once: after --help or --version (status 0), or on a usage error (status 2,
// the message names the option or what is missing).
struct Finish {
    int status = 0;
    std::string out;  // for standard output
    std::string err;  // for standard error
};

// Values are taken byte for byte as they were given: a folder name that is no UTF-8 still names
// its folder.
std::variant<Options, Finish> parse_command_line(int argc, char* argv[]);

}  // namespace permscope::report
