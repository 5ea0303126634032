#pragma once

#include <QString>

namespace bolaris {

// File names in the working folder are matched without regard to letter case,
// also on a case-sensitive file system.
class WorkDir {
public:
    // Path of the existing file in dir whose name equals fileName ignoring case;
    // dir + fileName when there is none.
    static QString resolve(const QString &dir, const QString &fileName);
    static bool exists(const QString &dir, const QString &fileName);
    // Deletes the file matching fileName (any case); true when one was removed.
    static bool remove(const QString &dir, const QString &fileName);

    // True when path names one of the program's own files in dir (its
    // datasets, the export file, the ball media, the registry lock or a
    // registry file moved aside), after resolving links and ignoring case:
    // no output may be written over one of them.
    static bool isDataFile(const QString &dir, const QString &path);

    // 0 when a file can be created in dir, otherwise the system's error number.
    static int writableError(const QString &dir);
};

} // namespace bolaris
