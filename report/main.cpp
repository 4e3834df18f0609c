// permscope-report: reads one folder, or a folder tree, as the Permscope window reads a folder and
// writes the result as CSV, JSON or an .xlsx workbook, for scripts, scheduled jobs and tickets;
// and compares two such reports.

#include <QCoreApplication>
#include <cstdio>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "directory/ldap_provider.h"
#include "platform/domain_discovery.h"
#include "platform/linux_management.h"
#include "report/command_line.h"
#include "report/compare.h"
#include "report/csv_format.h"
#include "report/folder_report.h"
#include "report/json_format.h"
#include "report/output_file.h"
#include "report/progress.h"
#include "report/tree_walk.h"
#include "report/tree_writer.h"
#include "report/workbook_format.h"
#include "rights/folder_reader.h"
#include "rights/walk_reader.h"

namespace {

using namespace permscope;

void say(const std::string& text) {
    std::fputs(("permscope-report: " + text + "\n").c_str(), stderr);
}

std::vector<std::string> lines_of(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = std::min(text.find('\n', start), text.size());
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

// Each line of the message the window would show.
void say_problem(const std::string& problem) {
    for (const std::string& line : lines_of(problem))
        say(line);
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

// The window's services: the machine's domain, the directory it names, with the same time-outs.
struct Services {
    std::unique_ptr<platform::ManagementLayer> management = platform::make_linux_management();
    std::unique_ptr<directory::DirectoryProvider> directory =
        directory::make_ldap_directory_provider();
    std::string domain = rights::first_forest_name(*management);
};

int read_one_folder(const report::Options& options) {
    Services services;
    rights::FolderReader reader(*services.management, *services.directory,
                                [&services] { return services.domain; });
    report::FolderReport folder;
    folder.folder = options.folder;
    try {
        auto lists = std::make_shared<rights::FolderLists>();
        const report::ReadProgress progress(lists->users, lists->groups);
        report::read_folder(reader, folder, lists);
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

// The walk's folders go to the writer as they come; the top folder must be readable, as a single
// folder must. Each folder that cannot be read or listed, and each problem that made lists
// incomplete, is told on standard error once.
int walk(const report::Options& options) {
    Services services;
    rights::WalkReader reader(*services.directory, [&services] { return services.domain; });
    report::WalkProgress progress;
    std::unique_ptr<report::TreeWriter> writer;
    std::set<std::string> told;
    const auto tell = [&](const std::string& text) {
        for (const std::string& line : lines_of(text))
            if (told.insert(line).second)
                progress.say("permscope-report: " + line);
    };
    bool complete = true;
    const auto each = [&](const report::WalkedFolder& folder) {
        if (!writer) {
            if (folder.state == report::WalkedFolder::State::Unreadable)
                throw report::FolderUnreadable(folder.cause);
            writer = report::make_tree_writer(options.format, options.output, options.folder,
                                              *options.depth);
        }
        if (folder.state == report::WalkedFolder::State::Unreadable)
            tell("cannot read the folder " + folder.report.folder + ": " + folder.cause);
        tell(folder.listing_problem);
        tell(folder.report.problem);
        complete = complete && folder.report.complete();
        writer->folder(folder);
    };
    try {
        report::walk_tree(
            options.folder, {*options.depth, options.cross_mounts, 0}, *services.management, reader,
            each, [&progress](const std::string& folder) { progress.folder_started(folder); });
        tell(reader.finish());
        writer->finish(complete);
    } catch (const report::FolderUnreadable& failure) {
        progress.say("permscope-report: cannot read the folder " + options.folder + ": " +
                     failure.what());
        return 2;
    } catch (const report::OutputError& failure) {
        progress.say("permscope-report: " + std::string(failure.what()));
        return 2;
    }
    return complete ? 0 : 1;
}

int compare(const report::Options& options) {
    const auto& [old_report, new_report] = *options.compare;
    try {
        const report::Comparison comparison =
            report::compare_reports(report::report_file_text(old_report), old_report,
                                    report::report_file_text(new_report), new_report);
        say_problem(comparison.notes);
        if (options.output.empty())
            report::write_standard_output(comparison.lines);
        else
            report::write_output_file(options.output, comparison.lines);
        return comparison.lines.empty() ? 0 : 1;
    } catch (const report::ReportUnreadable& failure) {
        say(std::string("cannot compare: ") + failure.what());
    } catch (const report::OutputError& failure) {
        say(failure.what());
    }
    return 2;
}

int run(const report::Options& options) {
    if (options.compare)
        return compare(options);
    return options.depth ? walk(options) : read_one_folder(options);
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
