// Folder creation: a folder together with every missing folder above it, parent before child.
#pragma once

#include <string>

// Calls CreateDirectoryA for each prefix of the path that ends with "\", in order; every failure
// is ignored and nothing is reported.
void CriaDiretorio(const std::string& pCaminho);
