// What the window's parts share: the status colours, the fixed folders and the status texts
// that more than one of them writes.
#pragma once

#include "platform/forms/forms.h"

namespace ui {

// Status lines: grey for progress and success, red for a failure.
inline constexpr forms::Color kGrey = forms::RGB(192, 192, 192);
inline constexpr forms::Color kRed = forms::RGB(255, 0, 0);
// Progress fills: blue while running, green when the transfer is done; the bar's track.
inline constexpr forms::Color kBlue = forms::RGB(46, 117, 182);
inline constexpr forms::Color kGreen = forms::RGB(0, 255, 0);
inline constexpr forms::Color kTrack = forms::RGB(224, 224, 224);

inline constexpr const char* kInstallFolder = "C:\\Quorimetra\\Install";
inline constexpr const char* kProductFolder = "C:\\Quorimetra\\Kelvoran";

inline constexpr const char* kDownloading = "Fazendo download de arquivos...";
inline constexpr const char* kDownloaded = "Download efetuado com sucesso!";
inline constexpr const char* kNoConnection = "sem conexão, tente mais tarde";
inline constexpr const char* kInterrupted = "conexão com o servidor foi interrompida.";
inline constexpr const char* kNotVerified =
    "não foi possível verificar a autenticidade do arquivo.";

}  // namespace ui
