#pragma once

#include <QFunctionPointer>
#include <QString>

// The program's own optional libraries (libparlanto_sound.so, libparlanto_pdf.so): parts that
// need large libraries few runs use, opened on first use. Installed in the program's library
// folder; the programs and tests run in the build folder find them there. Returns the named
// function of the library `fileName`, or null when the library cannot be opened (a warning
// says why).
QFunctionPointer programModuleFunction(const QString &fileName, const char *function);

// The path of the program's own library `fileName` where it is installed or built, or an empty
// text when there is none.
QString programModulePath(const QString &fileName);
