#include "directory/directory_provider.h"

namespace permscope::directory {

std::vector<std::unique_ptr<Recordset>> DirectoryProvider::execute_all(
    const std::vector<std::string>& texts) {
    std::vector<std::unique_ptr<Recordset>> results(texts.size());
    std::unique_ptr<Connection> connection;
    std::unique_ptr<Command> command;
    try {
        connection = CreateConnection("ADODB.Connection");
        command = CreateCommand("ADODB.Command");
        connection->Open("Provider=ADsDSOObject;");
        command->SetActiveConnection(*connection);
    } catch (const DirectoryError&) {
        return results;
    }
    for (std::size_t i = 0; i < texts.size(); ++i) {
        try {
            command->SetCommandText(texts[i]);
            results[i] = command->Execute();
        } catch (const DirectoryError&) {
        }
    }
    try {
        connection->Close();
    } catch (const DirectoryError&) {
    }
    return results;
}

}  // namespace permscope::directory
