#pragma once
// An in-memory spreadsheet application that records every automation call as one line of text,
// in order, and can be told to fail chosen calls.
//
// Lines: "CreateObject(Excel.Application)", "Workbooks.Add", "Sheets(Tabelle1).Select",
// "Sheets(Tabelle1).Name=Rechte", "Range(A2)=text", "Visible=True", "Release".

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "export/application.h"

namespace permscope::spreadsheet::testing {

class RecordingFactory : public ApplicationFactory {
  public:
    // Every call is recorded first; a call whose line this predicate accepts then throws.
    std::function<bool(const std::string& line)> fails = [](const std::string&) { return false; };

    std::unique_ptr<Application> CreateObject(const std::string& prog_id) override;

    const std::vector<std::string>& calls() const { return calls_; }
    // Only the Range lines, without "Range(": "A2)=G1" reads better as "A2=G1".
    std::vector<std::string> cells() const;
    // Makes every call whose line begins with prefix fail.
    void fail_calls_starting_with(std::string prefix);

    // Used by the recorded application.
    void record(std::string line);

  private:
    std::vector<std::string> calls_;
};

}  // namespace permscope::spreadsheet::testing
