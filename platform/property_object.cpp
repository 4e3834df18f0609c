#include "platform/property_object.h"

#include "platform/text_utils.h"

namespace permscope::platform {

PropertyValue PropertyObject::property(std::string_view name) const {
    for (const auto& [property_name, value] : properties_) {
        if (equals_ignoring_case(property_name, name)) {
            return value;
        }
    }
    throw ManagementError("unknown property " + std::string(name));
}

}  // namespace permscope::platform
