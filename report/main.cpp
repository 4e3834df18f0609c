// permscope-report: reads one folder as the Permscope window reads it and writes the result as
// CSV, JSON or an .xlsx workbook, for scripts, scheduled jobs and tickets.

#include <QCoreApplication>
#include <cstdio>
#include <string>

#include "directory/ldap_provider.h"
#include "platform/domain_discovery.h"
#include "platform/linux_management.h"
#include "report/command_line.h"
#include "report/csv_format.h"
#include "report/folder_report.h"
#include "report/json_format.h"
#include "report/output_file.h"
#include "report/progress.h"
#include "report/workbook_format.h"
#include "rights/folder_reader.h"

namespace {

using namespace permscope;

void say(const std::string& text) {
    std::fputs(("permscope-report: " + text + "\n").c_str(), stderr);
}

// Each line of the message the window would show.
void say_problem(const std::string& problem) {
    std::size_t start = 0;
    while (start < problem.size()) {
        const std::size_t end = std::min(problem.find('\n', start), problem.size());
        say(problem.substr(start, end - start));
        start = end + 1;
    }
}

void write_report(const report::Options& options, const report::FolderReport& folder) {
    if (options.format == report::Format::Xlsx) {
        report::write_output_workbook(
            options.output, report::folder_workbook(folder, report::exported_workbook(folder)));
        return;
    }
    std::string text;
    if (options.format == report::Format::Csv) {
        text = report::csv_header() + report::folder_csv_lines(folder);
    } else {
        const spreadsheet::Workbook exported = report::exported_workbook(folder);
        text = report::json_text(
            report::folder_json(folder, report::head_groups(exported.sheets().front())));
    }
    if (options.output.empty())
        report::write_standard_output(text);
    else
        report::write_output_file(options.output, text);
}

int run(const report::Options& options) {
    // The window's services: the machine's domain, the directory it names, with the same
    // time-outs.
    const auto management = platform::make_linux_management();
    const auto directory = directory::make_ldap_directory_provider();
    const std::string domain = rights::first_forest_name(*management);
    rights::FolderReader reader(*management, *directory, [&domain] { return domain; });

    report::FolderReport folder;
    folder.folder = options.folder;
    try {
        const report::ProgressLine progress(folder.users, folder.groups);
        report::read_folder(reader, folder);
    } catch (const report::FolderUnreadable& failure) {
        say("cannot read the folder " + options.folder + ": " + failure.what());
        return 2;
    }
    say_problem(folder.problem);
    try {
        write_report(options, folder);
    } catch (const report::OutputError& failure) {
        say(failure.what());
        return 2;
    }
    return folder.complete() ? 0 : 1;
}

}  // namespace

int main(int argc, char* argv[]) {
    const QCoreApplication application(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("permscope-report"));
    QCoreApplication::setApplicationVersion(QStringLiteral(PERMSCOPE_VERSION));
    const auto parsed = report::parse_command_line(argc, argv);
    if (const auto* finish = std::get_if<report::Finish>(&parsed)) {
        std::fputs(finish->out.c_str(), stdout);
        std::fputs(finish->err.c_str(), stderr);
        return finish->status;
    }
    platform::limit_library_configuration();
    return run(std::get<report::Options>(parsed));
}
