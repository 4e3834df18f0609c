#pragma once
// A fresh folder below the system's temporary folder, removed with everything in it when the
// object goes.

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>

namespace permscope::testing {

class TempFolder {
  public:
    TempFolder() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "permscope-XXXXXX").string();
        if (!mkdtemp(pattern.data()))
            throw std::runtime_error("cannot make a temporary folder");
        path_ = pattern;
    }
    ~TempFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::string& path() const { return path_; }
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }
    // Makes a folder below this one, parents included; returns its path.
    std::string make_folder(const std::string& name) const {
        std::filesystem::create_directories(*this / name);
        return *this / name;
    }
    // Writes a file below this folder, parents included; returns its path.
    std::string write(const std::string& name, const std::string& content) const {
        std::filesystem::create_directories(std::filesystem::path(*this / name).parent_path());
        std::ofstream(*this / name, std::ios::binary) << content;
        return *this / name;
    }

  private:
    std::string path_;
};

}  // namespace permscope::testing
