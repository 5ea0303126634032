#pragma once

#include "CliCommands.h"

#include "cards/CardStore.h"
#include "game/CompetingSet.h"
#include "game/GameStep.h"
#include "game/LoggedDraw.h"
#include "validation/ValidationRegistry.h"

#include <memory>

namespace bolaris::cli {

// The card store and the registry of a folder, read without changing
// anything (the program may have them open), and a game step on the cards.
struct Hall {
    CardStore store;
    std::unique_ptr<ValidationRegistry> registry;
    std::unique_ptr<GameStep> game;

    // False after saying why the cards or the registry cannot be read.
    // withRegistry: what competes is today's registry (a draw logged with its
    // own set needs none).
    bool open(const QString &dir, Streams io, const RegistryLocation &location, bool withRegistry = true);
    // What competes now: today's registry (none when it was not opened).
    CompetingSet today() const
    {
        return registry ? CompetingSet::fromRegistry(registry->TableVali(), registry->TableValiC()) : CompetingSet();
    }
};

// Draw number of the log of dir, or nothing after saying why: the log cannot
// be read, the draw is not in it, or its announcements cannot be rebuilt.
std::optional<LoggedDraw> readLoggedDraw(const QString &dir, int number, Streams io);

} // namespace bolaris::cli
