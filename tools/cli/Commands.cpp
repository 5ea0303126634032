#include "CliCommands.h"

#include <functional>
#include <map>

namespace bolaris::cli {

namespace {

const char *const kUsage =
    "usage: bolaris-cli COMMAND [OPTIONS]\n"
    "       bolaris-cli --help | --version\n"
    "  dump-store [--dir DIR]          print every filled card: index;text\n"
    "  verify-store [--dir DIR]        check every filled card against the card rules\n"
    "  generate-series --out FILE      write the card file of series B to L\n"
    "  dump-dataset FILE               print a .cds file: field names, then one line per record\n"
    "  validate --series TEXT --cards TEXT [--yes] [--dir DIR] [--registry URL]\n"
    "                                  enter a card or a range of cards as sold (Enter in the panel)\n"
    "  return-ticket --series TEXT --ticket TEXT [--yes] [--dir DIR] [--registry URL]\n"
    "                                  enter a returned ticket of a sold card\n"
    "  issue-pdf --model NAME --series TEXT --first N --last M [--fill TEXT] [--dir DIR] --out FILE.pdf\n"
    "                                  issue cards as \"Emite\" does and save the sheets as PDF;\n"
    "                                  NAME: check14 check3 check4 check2 check1 checkg checkgg check3a4\n"
    "  make-media [--dir DIR]          write the ball voices, sounds and pictures into DIR (files\n"
    "                                  not made by the program, such as recorded voices, are kept)\n"
    "  export-csv --series TEXT --first N --last M [--per-sheet K] [--fill TEXT] [--dir DIR]\n"
    "                                  write CARTGRAF.CSV and cartgraf.cds as \"Gera\" does\n"
    "  replay --balls LIST [--cantos] [--linha] [--2linhas] [--dir DIR] [--registry URL]\n"
    "                                  re-check a draw from its balls (1,2,...; a repeated ball is taken\n"
    "                                  back) and print the Draw panel's report after each\n"
    "  replay --draw N [--dir DIR] [--registry URL]\n"
    "                                  replay draw N of the draw log against what competed in it and\n"
    "                                  say whether every announcement matches what was logged\n"
    "  draw-log [--draw N] [--dir DIR] list the logged draws, or every event of draw N\n"
    "  draw-log --verify [--dir DIR]   check the draw log's seals: intact, or the first draw and event\n"
    "                                  changed, removed or inserted\n"
    "  check-card --series S --card N [--draw N] [--dir DIR] [--registry URL]\n"
    "                                  a claim in a logged draw (default: the last): the card's tickets\n"
    "                                  with the drawn numbers marked, whether it competed, its returned\n"
    "                                  tickets and each ticket's prizes with their balls\n"
    "  ata (--draw N | --date AAAA-MM-DD) --out FILE.pdf [--dir DIR] [--registry URL]\n"
    "                                  write the minutes (\"Ata do sorteio\") of a draw or of every draw\n"
    "                                  of a day as PDF\n"
    "  registry-push --dir DIR --registry URL\n"
    "                                  copy the folder's registry into an empty registry on a server\n"
    "  registry-pull --registry URL --dir DIR\n"
    "                                  write the server's registry into the folder's files (the folder\n"
    "                                  must have none)\n"
    "  URL is postgresql://USER@HOST:PORT/DATABASE; without --registry, BOLARIS_REGISTRY or the line\n"
    "  registro=URL of DIR/bolaris.conf names it, else the folder's files are the registry.\n"
    "  Questions of the panel are asked on the terminal: s or sim answers Yes, n answers No;\n"
    "  No answer (an empty line, or the end of the input) takes the default, No; --yes answers Yes.\n";

} // namespace

int run(const QStringList &args, Streams io)
{
    using Command = std::function<int(const QStringList &, Streams)>;
    static const std::map<QString, Command> commands = {
        {QStringLiteral("dump-store"), dumpStore},
        {QStringLiteral("verify-store"), verifyStore},
        {QStringLiteral("generate-series"), generateSeries},
        {QStringLiteral("dump-dataset"), dumpDataset},
        {QStringLiteral("validate"), validate},
        {QStringLiteral("return-ticket"), returnTicket},
        {QStringLiteral("issue-pdf"), issuePdf},
        {QStringLiteral("make-media"), makeMedia},
        {QStringLiteral("export-csv"), exportCsv},
        {QStringLiteral("replay"), replay},
        {QStringLiteral("draw-log"), drawLog},
        {QStringLiteral("check-card"), checkCard},
        {QStringLiteral("ata"), ata},
        {QStringLiteral("registry-push"), registryPush},
        {QStringLiteral("registry-pull"), registryPull},
    };
    if (args == QStringList{QStringLiteral("--help")}) {
        io.out << kUsage;
        return 0;
    }
    if (args == QStringList{QStringLiteral("--version")}) {
        io.out << "bolaris-cli " << BOLARIS_VERSION << '\n';
        return 0;
    }
    const auto it = args.isEmpty() ? commands.end() : commands.find(args.first());
    int status = 2;
    if (it != commands.end())
        status = it->second(args.mid(1), io);
    if (status == 2) {
        io.out.flush();
        io.err << kUsage;
    }
    return status;
}

} // namespace bolaris::cli
