// Walk time of the spreadsheet export over large result lists: 10,000 users under 100 head
// groups, each head group the top of a chain of nested sub-groups, into the program's in-memory
// workbook. Prints figures; it checks nothing.
//
//   export_bench [users] [head groups] [chain depth]

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include <unistd.h>

#include "export/desktop_spreadsheet.h"
#include "export/excel_export.h"

namespace {

using permscope::ResultList;
using permscope::spreadsheet::Application;
using permscope::spreadsheet::ApplicationFactory;
using permscope::spreadsheet::Excel_export;
using permscope::spreadsheet::Workbook;
using permscope::spreadsheet::WorkbookApplication;

struct Shape {
    int users = 10'000;
    int heads = 100;
    int depth = 10;             // groups in each head group's chain, the head included
    bool heads_nested = false;  // each head group also names the next one as a sub-group
};

std::string group_name(int head, int level) {
    return level == 0 ? "Kopfgruppe " + std::to_string(head)
                      : "Gruppe " + std::to_string(head) + "." + std::to_string(level);
}

// Group rows as the folder read leaves them: HeadGroup, SubGroups, Rights.
void fill_groups(ResultList& groups, const Shape& shape) {
    for (int head = 0; head < shape.heads; ++head) {
        for (int level = 0; level < shape.depth; ++level) {
            const auto row = groups.append(group_name(head, level));
            std::string parent = level == 0 ? "is Head" : group_name(head, level - 1);
            std::string subs = level + 1 < shape.depth ? group_name(head, level + 1) : "";
            if (level == 0 && shape.heads_nested && head > 0)
                parent += ";" + group_name(head - 1, 0);
            if (level == 0 && shape.heads_nested && head + 1 < shape.heads)
                subs += (subs.empty() ? "" : ";") + group_name(head + 1, 0);
            groups.append_sub_item(row, parent);
            groups.append_sub_item(row, subs);
            groups.append_sub_item(row, "Lesen");
        }
    }
}

// Each user belongs to two groups of different trees, at varying depths.
void fill_users(ResultList& users, const Shape& shape) {
    for (int user = 0; user < shape.users; ++user) {
        const auto row = users.append("Benutzer " + std::to_string(user));
        const int first = user % shape.heads;
        const int second = (user * 7 + 3) % shape.heads;
        users.append_sub_item(row, group_name(first, user % shape.depth) + "; " +
                                       group_name(second, (user / 3) % shape.depth));
        users.append_sub_item(row, user % 2 ? "Lesen, Ausführen" : "Ändern; Lesen");
    }
}

// The workbook application of the program, its workbook kept in memory and never written.
class InMemoryFactory : public ApplicationFactory {
  public:
    std::size_t cells = 0;
    std::unique_ptr<Application> CreateObject(const std::string&) override {
        return std::make_unique<WorkbookApplication>(
            [this](const Workbook& book) { cells = book.sheets().front().cells.size(); });
    }
};

void run(const char* title, const Shape& shape) {
    ResultList groups, users;
    fill_groups(groups, shape);
    fill_users(users, shape);
    double best = 1e9;
    std::size_t cells = 0;
    for (int round = 0; round < 5; ++round) {
        InMemoryFactory excel;
        const auto start = std::chrono::steady_clock::now();
        Excel_export(groups, users, true, excel);
        const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
        best = std::min(best, took.count());
        cells = excel.cells;
    }
    std::printf("%-34s %6d users %5lld group rows %4d head groups: %9zu cells, walk %8.1f ms\n",
                title, shape.users, static_cast<long long>(groups.count()), shape.heads, cells,
                best * 1000.0);
}

// The desktop backend without the opening: the workbook built in memory and written as .xlsx
// into the private folder, then removed again.
class WritingFactory : public ApplicationFactory {
  public:
    std::unique_ptr<Application> CreateObject(const std::string&) override {
        return std::make_unique<WorkbookApplication>([](const Workbook& book) {
            const std::string file = permscope::spreadsheet::write_private_xlsx(
                book, permscope::spreadsheet::private_output_folders());
            unlink(file.c_str());
        });
    }
};

void run_writing(const Shape& shape) {
    ResultList groups, users;
    fill_groups(groups, shape);
    fill_users(users, shape);
    WritingFactory factory;
    const auto start = std::chrono::steady_clock::now();
    Excel_export(groups, users, true, factory);
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    std::printf("%-34s %6d users, walk and .xlsx written: %8.1f ms\n",
                "separate trees, real workbook", shape.users, took.count() * 1000.0);
}

}  // namespace

int main(int argc, char** argv) {
    Shape shape;
    if (argc > 1)
        shape.users = std::atoi(argv[1]);
    if (argc > 2)
        shape.heads = std::atoi(argv[2]);
    if (argc > 3)
        shape.depth = std::atoi(argv[3]);
    if (shape.users < 0 || shape.heads < 1 || shape.depth < 1) {
        std::fprintf(stderr, "usage: export_bench [users] [head groups] [chain depth]\n");
        return 2;
    }
    std::printf("best of 5 runs of Excel_export with a recording application\n");
    run("separate head-group trees", shape);
    run_writing(shape);
    shape.heads_nested = true;
    run("head groups nested in one chain", shape);
    return 0;
}
