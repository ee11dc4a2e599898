#pragma once
// Qt's own Russian texts (file dialogs, standard buttons, Qt's words for system errors, the serial
// port's words).
class QCoreApplication;
class QString;

// Loads Qt's Russian catalogue from the platform's translations folder (on Windows the folder
// deployed beside the program) and installs it into the application. Returns false, and changes
// nothing, when the catalogue is not there: the program then speaks Qt's English quietly.
bool installQtRussian(QCoreApplication &app);
// The same from a given folder (tests).
bool installQtRussian(QCoreApplication &app, const QString &folder);
