#pragma once
// Helpers of the management-layer tests: a temporary folder that cleans up after itself and a
// way to run a command-line tool (setfacl, chown) on paths of any spelling, and the connection
// to the layer's services.

#include <memory>
#include <string>
#include <vector>

#include "platform/management.h"

namespace permscope::platform::test {

class TempFolder {
  public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    const std::string& path() const { return path_; }
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }
    // Writes a file below the folder, creating its parents.
    std::string write(const std::string& name, const std::string& content) const;

  private:
    std::string path_;
};

// Runs a program found on PATH with the arguments given (no shell) and fails the test when it does
// not exit with 0.
void run_tool(const std::vector<std::string>& arguments);

// The layer's services as the window connects to them: local machine, default namespace.
inline std::unique_ptr<Services> connect_local(ManagementLayer& layer) {
    return layer.CreateLocator("WbemScripting.SWbemLocator")
        ->ConnectServer("", "root\\cimv2", "", "", std::nullopt, std::nullopt, 128);
}

}  // namespace permscope::platform::test
