// Folder creation, one level at a time from the drive down.
#include "install/Module1.h"

#include "platform/kernel/kernel.h"

void CriaDiretorio(const std::string& pCaminho) {
    std::string caminho = pCaminho;
    if (caminho.empty() || caminho.back() != '\\') caminho += '\\';

    SECURITY_ATTRIBUTES security;
    security.nLength = 12;
    security.lpSecurityDescriptor = nullptr;
    security.bInheritHandle = FALSE;

    // Each prefix that ends with "\" names one folder; a folder that exists or cannot be made
    // fails without effect, and so do the ones below it.
    std::size_t pos = caminho.find('\\');
    while (pos != std::string::npos) {
        const std::string prefix = caminho.substr(0, pos + 1);
        CreateDirectoryA(prefix.c_str(), &security);
        pos = caminho.find('\\', pos + 1);
    }
}
