#pragma once

#include "dataset/Dataset.h"

#include <QString>
#include <QStringList>

#include <memory>

class QLockFile;

namespace bolaris {

class Prompter;

// The registry of validated cards ("Validadas.cds") and returned tickets
// ("Cartoes.cds"), with the rules of its two entries, the cascade and the
// reset. Every completed entry is committed to the files before it returns.
class ValidationRegistry {
public:
    explicit ValidationRegistry(const QString &dir);
    ~ValidationRegistry();

    Dataset &TableVali() { return m_vali; }
    Dataset &TableValiC() { return m_valiC; }

    // Takes the folder's registry lock, so that no other program changes the
    // files under an open registry. False when someone else holds it.
    bool lock();
    // Opens both datasets, creating empty ones for missing files. A file that
    // cannot be read is moved aside and replaced by an empty registry; the
    // returned messages (one per such file) say where it went.
    QStringList open();
    void close();
    bool isOpen() const { return m_vali.isOpen() && m_valiC.isOpen(); }

    enum class Outcome {
        Ignored,       // nothing to do (empty box, no number): the box keeps its text
        SeriesInvalid, // "Série inválida. Corrija." was shown
        Refused,       // the entry was refused with a message or silently
        Stopped,       // a card above 2000 ended the walk: handled cards stay, labels keep
        Done,
    };
    struct CardEntry {
        Outcome outcome = Outcome::Ignored;
        int lastAdded = 0; // the last card added by a completed entry, 0 when none
    };

    // Enter in the card box: a card or a range "first-last" of the series.
    CardEntry SaiEnter(const QString &seriesText, const QString &cardText, Prompter &prompter);
    // Enter in the returned-ticket box.
    Outcome SaiEnterC(const QString &seriesText, const QString &ticketText, Prompter &prompter);
    // "Inicializa a validação": true when the operator confirmed and all was removed.
    bool ButtonInivalClick(Prompter &prompter);

    // The card box text split at its first hyphen into first and last card;
    // a part that is not an integer counts as 0.
    static std::pair<int, int> splitCardText(const QString &text);

    static constexpr const char *kValiFile = "Validadas.cds";
    static constexpr const char *kValiCFile = "Cartoes.cds";

private:
    // The series letter of the entry, or 0 after showing the series message.
    char seriesLetter(const QString &seriesText, Prompter &prompter) const;
    void TableValiBeforeDelete(Dataset &vali);
    QString openOne(Dataset &dataset, const char *fileName, void (*define)(Dataset &), const char *indexName,
                    const char *indexFields);

    QString m_dir;
    Dataset m_vali;
    Dataset m_valiC;
    std::unique_ptr<QLockFile> m_lock;
};

} // namespace bolaris
