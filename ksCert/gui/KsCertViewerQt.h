#pragma once
// The certificate viewer's front end for programs with a Qt GUI (the utility): the library's
// viewer runs the framework's certificate dialog. Not part of the supplicant library, which
// carries no GUI; a program links this and installs it once its GUI application exists.
#include "ksCert/KsCertViewer.h"

// Registers the dialog as the viewer's backend.
void InstallQtCertificateViewer();

// The dialog's backend itself: shows the request's chain, modally.
int ShowCertificateInDialog(const KsCertViewRequest& request);
