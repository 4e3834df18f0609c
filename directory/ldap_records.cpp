#include "directory/ldap_records.h"

#include "common/text.h"

namespace permscope::directory {

namespace {

// Attributes that the directory's schema defines as multi-valued: always an array, even with one
// value, as the provider hands them out.
bool is_multi_valued(std::string_view attribute) {
    for (const std::string_view name : {"member", "memberOf", "objectClass"})
        if (equals_ignoring_case(attribute, name))
            return true;
    return false;
}

// The value of a selected field as the provider hands it out: no value, one text, or an array
// for a multi-valued attribute (always for those the schema defines as multi-valued).
FieldValue field_value(std::vector<LdapRecord::Attribute>& attributes, std::string_view field,
                       bool last_use) {
    for (LdapRecord::Attribute& attribute : attributes) {
        if (!equals_ignoring_case(attribute.name, field))
            continue;
        if (attribute.values.empty())
            return {};
        if (attribute.values.size() == 1 && !is_multi_valued(field))
            return last_use ? std::move(attribute.values[0]) : attribute.values[0];
        return last_use ? std::move(attribute.values) : attribute.values;
    }
    return {};
}

}  // namespace

RecordMaker::RecordMaker(std::vector<std::string> selected)
    : selected_(std::move(selected)), last_uses_(selected_.size(), true) {
    for (std::size_t f = 0; f < selected_.size(); ++f)
        for (std::size_t later = f + 1; later < selected_.size(); ++later)
            if (equals_ignoring_case(selected_[f], selected_[later]))
                last_uses_[f] = false;
    for (const std::string& field : selected_)
        sid_selected_ = sid_selected_ || equals_ignoring_case(field, "objectSid");
}

StoredRecord RecordMaker::record(LdapRecord entry) const {
    StoredRecord stored;
    stored.dn = std::move(entry.dn);
    for (LdapRecord::Attribute& attribute : entry.attributes)
        if (equals_ignoring_case(attribute.name, "objectSid") && !attribute.values.empty()) {
            if (sid_selected_)
                stored.sid = attribute.values.front();
            else
                stored.sid = std::move(attribute.values.front());
            break;
        }
    stored.fields.reserve(selected_.size());
    for (std::size_t f = 0; f < selected_.size(); ++f)
        stored.fields.push_back(field_value(entry.attributes, selected_[f], last_uses_[f]));
    return stored;
}

std::unique_ptr<Recordset> RecordMaker::record_set(std::vector<LdapRecord> entries) const {
    auto answer = std::make_shared<StoredAnswer>();
    answer->selected = selected_;
    answer->records.reserve(entries.size());
    for (LdapRecord& entry : entries)
        answer->records.push_back(record(std::move(entry)));
    return std::make_unique<StoredRecordset>(std::move(answer));
}

}  // namespace permscope::directory
