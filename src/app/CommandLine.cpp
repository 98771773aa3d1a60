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
    CommandLine line;
    bool modeGiven = false;
    bool logGiven = false;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        const auto invalid = [&argument] { return CommandLine{RunMode::Invalid, argument, ""}; };
        if (argument.size() < 2 || (argument[0] != '/' && argument[0] != '-')) return invalid();
        const std::string flag = Lower(argument.substr(1));
        if (flag == "log") {
            // The file is the next argument, whatever it looks like, but it must be there.
            if (logGiven || i + 1 >= arguments.size() || arguments[i + 1].empty()) {
                return invalid();
            }
            logGiven = true;
            line.logFile = arguments[++i];
            continue;
        }
        // Two run flags would leave it open which run is meant.
        if (modeGiven) return invalid();
        modeGiven = true;
        if (flag == "passive") {
            line.mode = RunMode::Passive;
        } else if (flag == "quiet") {
            line.mode = RunMode::Quiet;
        } else if (flag == "?") {
            line.mode = RunMode::Help;
        } else {
            return invalid();
        }
    }
    return line;
}

std::string Usage() {
    return "Uso: instalador [/passive | /quiet | /?] [/log <arquivo>]\n"
           "\n"
           "  (sem argumentos)  abre o instalador para ser conduzido pelo usuário\n"
           "  /passive          instala sozinho, mostrando a janela\n"
           "  /quiet            instala sozinho, sem janela (não precisa de tela)\n"
           "  /log <arquivo>    escreve o registro da instalação nesse arquivo, em qualquer modo\n"
           "  /?                mostra esta ajuda\n"
           "\n"
           "Nos modos /passive e /quiet cada linha de estado, cada mensagem e cada download\n"
           "(arquivo e servidor) são escritos uma vez na saída padrão (\"AAAA-MM-DD HH:MM:SS\n"
           "texto\"); no modo /passive as mensagens se fecham sozinhas após alguns segundos.\n"
           "O registro traz as mesmas linhas, cada componente copiado, o resultado de cada\n"
           "regsvr32 e o código de saída; sem /log, os modos /passive e /quiet o escrevem em\n"
           "%TEMP%\\instalador.log.\n"
           "Código de saída: 0 programa instalado, 1 instalação não concluída, 2 argumento\n"
           "desconhecido ou nenhuma tela para a janela.\n";
}

}  // namespace app
