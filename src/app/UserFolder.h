#pragma once

#include "dataset/AtomicFile.h"

#include <QString>
#include <QStringList>

namespace bolaris {

// The working folder of a start from the desktop menu: a folder of the user's
// own, which the first start fills from the data installed with the program
// (the series B to L card file and the ball media). A file is copied only when
// no file of its name, in any letter case, is there: nothing the user has in
// the folder is ever replaced, so a missing file comes back at the next start
// and a changed one stays as it is.
class UserFolder {
public:
    struct Result {
        int folderError = 0;  // the system's error number when the folder could not be made
        QStringList copied;   // names copied this time
        WriteFailure failure; // the file that could not be copied; later ones were not tried

        // What the operator is told, in Portuguese; empty when all went well.
        QString message(const QString &folder) const;
    };

    // $XDG_DATA_HOME/bolaris, else ~/.local/share/bolaris.
    static QString defaultPath();
    // Where save dialogs open for a working folder: the user's documents
    // folder (XDG_DOCUMENTS_DIR, else the home folder when it does not
    // exist) for the user folder, hidden from the user; dir itself otherwise.
    static QString saveFolder(const QString &dir);

    // Makes folder (and missing parents, private to the user) and copies into
    // it each file of installedData that it lacks, each whole or not at all.
    // A missing installedData copies nothing.
    static Result prepare(const QString &folder, const QString &installedData);
};

} // namespace bolaris
