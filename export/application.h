#pragma once
// The spreadsheet application that the export drives, one method per automation call it makes
// on "Excel.Application". A call that cannot be carried out throws AutomationError (or another
// std::exception); the export skips such a call and goes on with the next one.

#include <memory>
#include <stdexcept>
#include <string>

namespace permscope::spreadsheet {

class AutomationError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// Visible = True could not hand the workbook to the user at all (no folder took its file): the
// result is lost unless the user is told, so the export passes its text on.
class ExportNotWritten : public AutomationError {
  public:
    using AutomationError::AutomationError;
};

class Application {
  public:
    virtual ~Application() = default;  // releasing the object: a shown workbook stays open

    // Workbooks.Add: a new workbook with one sheet "Tabelle1", which becomes the active one.
    virtual void Workbooks_Add() = 0;
    // Sheets(sheet).Select: makes that sheet of the active workbook the active sheet.
    virtual void Sheets_Select(const std::string& sheet) = 0;
    // Sheets(sheet).Name = new_name.
    virtual void Sheets_SetName(const std::string& sheet, const std::string& new_name) = 0;
    // Range(address) = value, on the active sheet; address is a cell such as "A2".
    virtual void Range_Set(const std::string& address, const std::string& value) = 0;
    // Visible = visible. Showing hands the workbook to the user.
    virtual void set_Visible(bool visible) = 0;
};

// CreateObject: makes a new application for a programmatic identifier such as
// "Excel.Application". Throws when there is no such application or it cannot start.
class ApplicationFactory {
  public:
    virtual ~ApplicationFactory() = default;
    virtual std::unique_ptr<Application> CreateObject(const std::string& prog_id) = 0;
};

}  // namespace permscope::spreadsheet
