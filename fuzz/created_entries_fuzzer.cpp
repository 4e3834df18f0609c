// Created-entries lists ("…,3-Group,4-User") read piece by piece and written into three user and
// three group rows; pieces that name no row are passed over.
#include <cstdint>
#include <string_view>

#include "rights/folder_read.h"

using namespace permscope;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    rights::parse_created_entry(text);
    ResultList users;
    ResultList groups;
    for (const char* name : {"U1", "U2", "G1"}) {
        users.append(name);
        groups.append(name);
    }
    users.append_sub_item(2, "u2");
    users.append_sub_item(2, "Lesen");
    rights::write_rights_to_created_entries(text, "Vollzugriff", users, groups);
    return 0;
}
