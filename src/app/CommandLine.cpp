#include "app/CommandLine.h"

#include <cctype>

namespace app {

namespace {

std::string Lower(const std::string& text) {
    std::string out = text;
    for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

}  // namespace

CommandLine ParseCommandLine(const std::vector<std::string>& arguments) {
    if (arguments.empty()) return {RunMode::Interactive, ""};
    // Two flags would leave it open which run is meant.
    if (arguments.size() > 1) return {RunMode::Invalid, arguments[1]};

    const std::string& argument = arguments.front();
    if (argument.size() < 2 || (argument[0] != '/' && argument[0] != '-')) {
        return {RunMode::Invalid, argument};
    }
    const std::string flag = Lower(argument.substr(1));
    if (flag == "passive") return {RunMode::Passive, ""};
    if (flag == "quiet") return {RunMode::Quiet, ""};
    if (flag == "?") return {RunMode::Help, ""};
    return {RunMode::Invalid, argument};
}

std::string Usage() {
    return "Uso: instalador [/passive | /quiet | /?]\n"
           "\n"
           "  (sem argumentos)  abre o instalador para ser conduzido pelo usuário\n"
           "  /passive          instala sozinho, mostrando a janela\n"
           "  /quiet            instala sozinho, sem janela (não precisa de tela)\n"
           "  /?                mostra esta ajuda\n"
           "\n"
           "Nos modos /passive e /quiet cada linha de estado, cada mensagem e cada download\n"
           "(arquivo e servidor) são escritos uma vez na saída padrão (\"AAAA-MM-DD HH:MM:SS\n"
           "texto\"); no modo /passive as mensagens se fecham sozinhas após alguns segundos.\n"
           "Código de saída: 0 programa instalado, 1 instalação não concluída, 2 argumento\n"
           "desconhecido ou nenhuma tela para a janela.\n";
}

}  // namespace app
