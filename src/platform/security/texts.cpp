#include "platform/security/security.h"

namespace security {

std::string LinkRefusedText(const std::string& windowsFolder) {
    return "A pasta " + windowsFolder +
           " é um link para outro lugar (ponto de nova análise) e, por segurança, não será "
           "usada. Remova o link e execute o instalador novamente.";
}

}  // namespace security
