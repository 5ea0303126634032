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
};

} // namespace bolaris
