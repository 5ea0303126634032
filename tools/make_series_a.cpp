// Writes the source file of the built-in series A to standard output: cards 1,
// 2 and 2000 are fixed texts, the others come from the card generator with a
// fixed seed, skipping any card that would repeat a ticket. Run once; its
// output is committed as src/cards/SeriesA.cpp.
#include "cards/CardGenerator.h"
#include "cards/CardRules.h"

#include <cstdio>
#include <string>
#include <vector>

using namespace bolaris;

int main()
{
    const std::string fixed1 = "244051708718325261889 3941647110335074842 224460905 2735687915235567833 254869867 "
                               "16305977133142668014264654826 28385876173443658519214553721 2937567811365773814 "
                               "204762898 12496375";
    const std::string fixed2 = "1 21325172112248658812335769893 134452747 2447617614395967842 104062735 "
                               "2942638315315475866 27415370193649668528375677904 23306471162646688118355078828 "
                               "203455799 254358801738456087";
    const std::string fixed2000 = "11385166862 26395873152742689010244170813 123256765 2543678821405477849 "
                                  "36446179133755648914305760826 224759788 3349698518284572801 193550757 "
                                  "2948628716315263834 203453711723466574";
    TicketSet used;
    for (const std::string *card : {&fixed1, &fixed2, &fixed2000}) {
        for (const std::string &problem : CheckCard(*card, true))
            std::fprintf(stderr, "fixed card: %s\n", problem.c_str());
        for (int p = 1; p <= 6; ++p)
            used.insert(TicketKeyOf(*card, p));
    }
    CardGenerator generator(0xA5E51E5A'00002000ull);
    std::vector<std::string> middle = generator.generate(1997, used);
    std::vector<std::string> cards;
    cards.push_back(fixed1);
    cards.push_back(fixed2);
    cards.insert(cards.end(), middle.begin(), middle.end());
    cards.push_back(fixed2000);

    std::printf("// The 2,000 cards of series A, in card order, in eight blocks of 250.\n"
                "// Made by tools/make_series_a.cpp; do not edit by hand.\n"
                "#include \"SeriesA.h\"\n\nnamespace bolaris {\n\n"
                "const SeriesABlock kSeriesA[kSeriesABlocks] = {\n");
    for (int b = 0; b < 8; ++b) {
        std::printf("    { // cards %d to %d\n", b * 250 + 1, b * 250 + 250);
        for (int i = 0; i < 250; ++i)
            std::printf("        \"%s\",\n", cards[size_t(b * 250 + i)].c_str());
        std::printf("    },\n");
    }
    std::printf("};\n\n} // namespace bolaris\n");
    return 0;
}
