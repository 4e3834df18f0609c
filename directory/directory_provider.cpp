#include "directory/directory_provider.h"

namespace permscope::directory {

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

}  // namespace permscope::directory
