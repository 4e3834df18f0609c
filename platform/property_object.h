#pragma once
// A management object that carries a fixed set of named properties.

#include <string>
#include <utility>
#include <vector>

#include "platform/management.h"

namespace permscope::platform {

class PropertyObject : public ManagementObject {
  public:
    explicit PropertyObject(std::vector<std::pair<std::string, PropertyValue>> properties)
        : properties_(std::move(properties)) {}

    // Property names are compared without regard to case ("drivetype" reads "DriveType").
    PropertyValue property(std::string_view name) const override;

  private:
    std::vector<std::pair<std::string, PropertyValue>> properties_;
};

}  // namespace permscope::platform
