#include "recording_application.h"

namespace permscope::spreadsheet::testing {

namespace {

class RecordingApplication : public Application {
  public:
    explicit RecordingApplication(RecordingFactory& log) : log_(log) {}
    ~RecordingApplication() override {
        try {
            log_.record("Release");
        } catch (...) {
        }
    }

    void Workbooks_Add() override { log_.record("Workbooks.Add"); }
    void Sheets_Select(const std::string& sheet) override {
        log_.record("Sheets(" + sheet + ").Select");
    }
    void Sheets_SetName(const std::string& sheet, const std::string& new_name) override {
        log_.record("Sheets(" + sheet + ").Name=" + new_name);
    }
    void Range_Set(const std::string& address, const std::string& value) override {
        log_.record("Range(" + address + ")=" + value);
    }
    void set_Visible(bool visible) override {
        log_.record(visible ? "Visible=True" : "Visible=False");
    }

  private:
    RecordingFactory& log_;
};

}  // namespace

std::unique_ptr<Application> RecordingFactory::CreateObject(const std::string& prog_id) {
    record("CreateObject(" + prog_id + ")");
    return std::make_unique<RecordingApplication>(*this);
}

void RecordingFactory::record(std::string line) {
    calls_.push_back(line);
    if (fails(line))
        throw AutomationError("refused: " + line);
}

void RecordingFactory::fail_calls_starting_with(std::string prefix) {
    fails = [previous = fails, prefix](const std::string& line) {
        return line.starts_with(prefix) || previous(line);
    };
}

std::vector<std::string> RecordingFactory::cells() const {
    static const std::string kRange = "Range(";
    std::vector<std::string> cells;
    for (const std::string& line : calls_) {
        if (!line.starts_with(kRange))
            continue;
        std::string cell = line.substr(kRange.size());
        const auto close = cell.find(")=");
        cells.push_back(cell.substr(0, close) + "=" + cell.substr(close + 2));
    }
    return cells;
}

}  // namespace permscope::spreadsheet::testing
