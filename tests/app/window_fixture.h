#pragma once
// A Form1 built with the tests' services, started in a folder of its own (the process's current
// folder while the window is built), with its controls found by their design names.

#include <gtest/gtest.h>

#include "tests/app/stand_in_services.h"

namespace permscope::app::testing {

class WindowTest : public ::testing::Test {
  protected:
    // Builds the window in start_folder; Load is the test's to call.
    Form1& make_form() {
        const CurrentFolder inside(start_folder);
        form = std::make_unique<Form1>(services.make());
        return *form;
    }

    template <typename Control>
    Control* control(const char* design_name) {
        auto* found = form->findChild<Control*>(QString::fromLatin1(design_name));
        EXPECT_NE(found, nullptr) << design_name;
        return found;
    }

    // The monikers bound so far: one per folder read.
    const std::vector<std::string>& reads() const { return *services.monikers; }

    TempFolder temp;
    std::string start_folder = temp.make_folder("start");
    TestServices services = [] {
        // Start-up points the directory list at the drive entry's text + "/", which with a
        // drive list like this names no folder.
        TestServices defaults;
        defaults.drives = {{"/ [vda1]", "/"}};
        return defaults;
    }();
    std::unique_ptr<Form1> form;
};

}  // namespace permscope::app::testing
