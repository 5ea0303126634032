#include "Hall.h"

#include "dataset/DatasetError.h"

namespace bolaris::cli {

bool Hall::open(const QString &dir, Streams io, const RegistryLocation &location, bool withRegistry)
{
    const CardStore::FillResult filled = store.FillCardStore(dir);
    if (!filled.error.isEmpty()) {
        io.err << "bolaris-cli: " << filled.error << Qt::endl;
        return false;
    }
    game = std::make_unique<GameStep>(store.table());
    if (!withRegistry)
        return true;
    // Read only: the program may have this registry open.
    registry = std::make_unique<ValidationRegistry>(dir, location);
    registry->setFollowing(false);
    const ValidationRegistry::Opened opened = registry->open(true);
    if (opened.access != ValidationRegistry::Access::ReadOnly &&
        !(location.isServer() && opened.access == ValidationRegistry::Access::Writable)) {
        io.err << "bolaris-cli: " << opened.english << Qt::endl;
        return false;
    }
    return true;
}

std::optional<LoggedDraw> readLoggedDraw(const QString &dir, int number, Streams io)
{
    std::optional<LoggedDraw> draw;
    try {
        draw = LoggedDraw::read(dir, number);
    } catch (const DatasetError &e) {
        io.err << "bolaris-cli: " << e.message() << Qt::endl;
        return std::nullopt;
    }
    if (!draw) {
        io.err << "bolaris-cli: draw " << number << " is not in the draw log of " << dir << Qt::endl;
        return std::nullopt;
    }
    if (draw->damaged) {
        io.err << "bolaris-cli: the draw log of " << dir << " repeats lines draw " << number
               << " never announced: it is damaged" << Qt::endl;
        return std::nullopt;
    }
    return draw;
}

} // namespace bolaris::cli
