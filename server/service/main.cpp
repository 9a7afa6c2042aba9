#include <QCoreApplication>
#include <clocale>

#include "server/service/CommandLine.h"
#include "server/service/ServerApp.h"

int main(int argc, char** argv) {
    std::setlocale(LC_ALL, "");
    // Read before Qt sees the arguments, so no option of its own is taken out of them.
    const std::string arguments = tolvan::JoinArguments(argc, argv);
    QCoreApplication app(argc, argv);
    tolvan::ServerApp server(tolvan::ParseCommandLine(arguments),
                             tolvan::ServerEnvironment::FromProcess());
    return server.Run();
}
