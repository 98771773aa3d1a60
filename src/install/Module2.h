// Extraction of a zip archive into an existing folder through the platform shell, reported on
// the status line of the current phase; for the database package, the connector's set-up and
// the end of the start phase.
#pragma once

#include <string>

class frmInstall;

// Returns true when the archive was extracted (and, for the database package, its set-up
// started); the status line tells the user either way. Lets no error escape.
bool DescompactaArquivo(frmInstall& form, const std::string& pArquivo, const std::string& pDestino,
                        bool pSobrescrever);
