#include "directory/query_session.h"

namespace permscope::directory {

QuerySession::QuerySession(DirectoryProvider& provider, AnswerStore* answers) : answers_(answers) {
    try {
        connection_ = provider.CreateConnection("ADODB.Connection");
    } catch (const DirectoryError&) {
    }
    try {
        command_ = provider.CreateCommand("ADODB.Command");
    } catch (const DirectoryError&) {
    }
    try {
        if (connection_)
            connection_->Open("Provider=ADsDSOObject;");
    } catch (const DirectoryError&) {
    }
    try {
        if (command_ && connection_)
            command_->SetActiveConnection(*connection_);
    } catch (const DirectoryError&) {
    }
}

QuerySession::~QuerySession() {
    close();
}

bool QuerySession::execute(std::string text, Slot slot, SearchScope scope) {
    if (!command_)
        return false;
    if (answers_) {
        if (AnswerPart kept = answers_->find(text, scope)) {
            recordsets_[index(slot)] = std::make_unique<StoredRecordset>(std::move(kept));
            return true;
        }
    }
    return execute_on_directory(std::move(text), slot, scope);
}

bool QuerySession::execute_on_directory(std::string text, Slot slot, SearchScope scope) {
    try {
        if (scope != scope_) {
            command_->SetSearchScope(scope);
            scope_ = scope;
        }
    } catch (const DirectoryError&) {
    }
    try {
        command_->SetCommandText(text);
    } catch (const DirectoryError&) {
    }
    try {
        std::unique_ptr<Recordset> result = command_->Execute();
        if (!result)
            return false;
        if (answers_) {
            std::shared_ptr<const StoredAnswer> answer = read_answer(*result);
            answers_->keep(text, scope, answer);
            result = std::make_unique<StoredRecordset>(std::move(answer));
        }
        recordsets_[index(slot)] = std::move(result);
        return true;
    } catch (const DirectoryError&) {
        return false;
    }
}

std::optional<std::int64_t> QuerySession::record_count(Slot slot) const {
    const Recordset* set = recordset(slot);
    if (!set)
        return std::nullopt;
    try {
        return set->RecordCount();
    } catch (const DirectoryError&) {
        return std::nullopt;
    }
}

void QuerySession::close() {
    if (closed_)
        return;
    closed_ = true;
    if (!connection_ || !connection_->is_open())
        return;
    try {
        connection_->Close();
    } catch (const DirectoryError&) {
    }
}

FieldValue read_field(const QuerySession& session, QuerySession::Slot slot,
                      std::string_view field) {
    const Recordset* set = session.recordset(slot);
    if (!set)
        return {};
    try {
        return set->Fields(field);
    } catch (const DirectoryError&) {
        return {};
    }
}

void DirectoryProvider::execute_all(const std::vector<std::string>& texts,
                                    const Answered& answered) {
    std::unique_ptr<Connection> connection;
    std::unique_ptr<Command> command;
    try {
        connection = CreateConnection("ADODB.Connection");
        command = CreateCommand("ADODB.Command");
        connection->Open("Provider=ADsDSOObject;");
        command->SetActiveConnection(*connection);
    } catch (const DirectoryError&) {
        return;
    }
    for (std::size_t i = 0; i < texts.size(); ++i) {
        std::unique_ptr<Recordset> set;
        try {
            command->SetCommandText(texts[i]);
            set = command->Execute();
        } catch (const DirectoryError&) {
        }
        if (set)
            answered(i, std::move(set));
    }
    try {
        connection->Close();
    } catch (const DirectoryError&) {
    }
}

bool DirectoryProvider::execute_streamed(const std::string& text, const EachRecord& each_record) {
    std::shared_ptr<StoredAnswer> answer;
    execute_all({text}, [&](std::size_t, std::unique_ptr<Recordset> set) {
        try {
            answer = read_answer(*set);
        } catch (const DirectoryError&) {
        }
    });
    if (!answer)
        return false;
    for (StoredRecord& record : answer->records)
        if (!each_record(std::move(record)))
            return false;
    return true;
}

}  // namespace permscope::directory
