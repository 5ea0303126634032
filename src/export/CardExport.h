#pragma once

#include "dataset/Dataset.h"

#include <QByteArray>
#include <QString>

namespace bolaris {

class CartelaTable;
class Prompter;

// What "Gera" reads from the Export panel, as typed.
struct ExportRequest {
    QString seriesText; // EditSerieG
    QString firstCard;  // EditCIG
    QString lastCard;   // EditCFG
    QString perSheet;   // EditCPF
    QString fillText;   // EditSimbolo
};

// The card file for mail merge: a range of cards of one series written to
// "CARTGRAF.CSV", one printed sheet per line, through the table TableGraf
// ("cartgraf.cds").
class CardExport {
public:
    enum class Outcome {
        Written, // both files replaced
        Refused, // a message was shown; nothing written
        Stopped, // silently: an empty range
    };

    explicit CardExport(const QString &dir);

    Dataset &TableGraf() { return m_graf; }

    // Checks the request and writes both files. Nothing is written unless every
    // check passes, and "CARTGRAF.CSV" is either replaced whole or left as it was.
    Outcome exportCards(const ExportRequest &request, const CartelaTable &cards, Prompter &prompter);

    // The fill text: the first two characters of the trimmed text, without trailing blanks.
    static QString fillText(const QString &typed);
    // Cards per sheet line: 1 to 9, anything else 1.
    static int cardsPerSheet(const QString &typed);
    // The header line without its line end: one block of 170 names per card on a line.
    static QByteArray header(int perSheet);

    static constexpr const char *kFileName = "CARTGRAF.CSV";
    static constexpr const char *kTableFileName = "cartgraf.cds";

private:
    void buildTableGraf(char series, int first, int last, const QString &fill, const CartelaTable &cards);
    QByteArray csvText(char series, int perSheet);
    bool writeCsv(const QByteArray &bytes, Prompter &prompter);
    void discardTableGraf();

    QString m_dir;
    Dataset m_graf;
};

} // namespace bolaris
