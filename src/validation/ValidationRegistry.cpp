#include "ValidationRegistry.h"

#include "ui/Prompter.h"
#include "cards/UnitCart.h"
#include "dataset/StrictInt.h"
#include "dataset/WorkDir.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QLockFile>

namespace bolaris {

namespace {

const QString kSerie = QStringLiteral("Serie");
const QString kNumero = QStringLiteral("Numero");
const QString kCartao = QStringLiteral("Cartao");
const QString kCartela = QStringLiteral("Cartela");
const QString kValiKey = QStringLiteral("Serie;Numero");
const QString kValiCKey = QStringLiteral("Serie;Cartao");

void defineVali(Dataset &d)
{
    d.clearFieldDefs();
    d.addFieldDef(kSerie, FieldType::String, 1);
    d.addFieldDef(kNumero, FieldType::Integer);
}

void defineValiC(Dataset &d)
{
    d.clearFieldDefs();
    d.addFieldDef(kSerie, FieldType::String, 1);
    d.addFieldDef(kCartao, FieldType::Integer);
    d.addFieldDef(kCartela, FieldType::Integer);
}

// A loaded file must carry the fields the registry reads, with their types.
void requireFields(const Dataset &loaded, void (*define)(Dataset &))
{
    Dataset expected;
    define(expected);
    for (const FieldDef &f : expected.fieldDefs()) {
        const int i = loaded.fieldIndex(f.name);
        if (i < 0 || loaded.fieldDefs()[size_t(i)].type != f.type)
            throw DatasetError(QStringLiteral("%1: field %2 missing or of another type").arg(loaded.fileName(), f.name));
    }
}

} // namespace

ValidationRegistry::ValidationRegistry(const QString &dir)
    : m_dir(dir), m_vali(QStringLiteral("TableVali")), m_valiC(QStringLiteral("TableValiC"))
{
    m_vali.beforeDelete = [this](Dataset &d) { TableValiBeforeDelete(d); };
}

ValidationRegistry::~ValidationRegistry() = default;

bool ValidationRegistry::lock()
{
    if (!m_lock) {
        m_lock = std::make_unique<QLockFile>(QDir(m_dir).filePath(QStringLiteral(".bolaris-registry.lock")));
        m_lock->setStaleLockTime(0);
    }
    return m_lock->isLocked() || m_lock->tryLock(0);
}

QStringList ValidationRegistry::open()
{
    QStringList messages;
    const QString a = openOne(m_vali, kValiFile, defineVali, "Validadas", "Serie;Numero");
    const QString b = openOne(m_valiC, kValiCFile, defineValiC, "Cartoes", "Serie;Cartao");
    for (const QString &m : {a, b})
        if (!m.isEmpty())
            messages << m;
    return messages;
}

QString ValidationRegistry::openOne(Dataset &d, const char *fileName, void (*define)(Dataset &),
                                    const char *indexName, const char *indexFields)
{
    d.setDirectory(m_dir);
    d.setFileName(QLatin1String(fileName));
    d.setDurable(true);
    d.setIndexFieldNames(QLatin1String(indexFields));
    auto attempt = [&] {
        define(d);
        d.open();
        requireFields(d, define);
        d.addIndex(QLatin1String(indexName), QLatin1String(indexFields), Dataset::Primary | Dataset::Unique);
    };
    try {
        attempt();
        return {};
    } catch (const DatasetError &e) {
        d.close();
        // Keep the unreadable file under a new name, never overwrite it.
        const QString path = d.filePath();
        const QString stamp = QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
        QString aside = QFileInfo(path).fileName() + QStringLiteral(".danificado-") + stamp;
        for (int n = 2; WorkDir::exists(m_dir, aside); ++n)
            aside = QFileInfo(path).fileName() + QStringLiteral(".danificado-") + stamp + QLatin1Char('-') +
                    QString::number(n);
        if (!QFile::rename(path, QDir(m_dir).filePath(aside)))
            throw DatasetError(QStringLiteral("%1 could not be read and could not be moved aside: %2")
                                   .arg(QFileInfo(path).fileName(), e.message()));
        attempt();
        return QStringLiteral("O arquivo %1 não pôde ser lido e foi guardado como \"%2\". "
                              "O registro começa vazio.\n\n(%3)")
            .arg(QFileInfo(path).fileName(), aside, e.message());
    }
}

void ValidationRegistry::close()
{
    m_vali.close();
    m_valiC.close();
    if (m_lock && m_lock->isLocked())
        m_lock->unlock();
}

char ValidationRegistry::seriesLetter(const QString &seriesText, Prompter &prompter) const
{
    const QString trimmed = seriesText.trimmed();
    const char letter = trimmed.isEmpty() ? 0 : char(trimmed.at(0).unicode() < 128 ? trimmed.at(0).unicode() : 0);
    if (IsSeriesLetter(letter))
        return letter;
    prompter.inform(QStringLiteral("Número da série a emitir"), QStringLiteral("Série inválida. Corrija."),
                    MessageIcon::Information);
    return 0;
}

std::pair<int, int> ValidationRegistry::splitCardText(const QString &text)
{
    qsizetype p = text.left(20).indexOf(QLatin1Char('-')) + 1; // 1-based
    if (p == 0)
        p = 20;
    const int first = strictIntOrZero(QStringView(text).left(p - 1));
    const int last = p < text.size() ? strictIntOrZero(QStringView(text).mid(p, 25 - p)) : 0;
    return {first, last};
}

ValidationRegistry::CardEntry ValidationRegistry::SaiEnter(const QString &seriesText, const QString &cardText,
                                                           Prompter &prompter)
{
    if (cardText.isEmpty() || seriesText.isEmpty())
        return {};
    const char letter = seriesLetter(seriesText, prompter);
    if (!letter)
        return {Outcome::SeriesInvalid, 0};
    const QString serie(QLatin1Char{letter});
    auto [first, last] = splitCardText(cardText);
    if (first == 0)
        return {};
    if (last < first)
        last = first;
    const bool single = first == last;

    // Returned tickets are committed before the cards they belong to.
    Dataset::Batch cards(m_vali);
    Dataset::Batch tickets(m_valiC);
    int lastAdded = 0;
    for (int n = first; n <= last; ++n) {
        if (n > kCardsPerSeries) {
            tickets.commit();
            cards.commit();
            return {Outcome::Stopped, lastAdded};
        }
        if (m_vali.locate(kValiKey, {serie, n})) {
            if (!single || prompter.ask(QStringLiteral("Exclusão de cartela"),
                                        QStringLiteral("Cartela já validada. Exclui da validação?"), true))
                m_vali.deleteRecord();
        } else {
            m_vali.append();
            m_vali.setValue(kSerie, serie);
            m_vali.setValue(kNumero, n);
            m_vali.post();
            lastAdded = n;
        }
    }
    tickets.commit();
    cards.commit();
    m_vali.last();
    return {Outcome::Done, lastAdded};
}

ValidationRegistry::Outcome ValidationRegistry::SaiEnterC(const QString &seriesText, const QString &ticketText,
                                                          Prompter &prompter)
{
    if (ticketText.isEmpty() || seriesText.isEmpty())
        return Outcome::Ignored;
    const char letter = seriesLetter(seriesText, prompter);
    if (!letter)
        return Outcome::SeriesInvalid;
    const QString serie(QLatin1Char{letter});
    const int ticket = strictIntOrZero(ticketText);
    if (ticket < 1 || ticket > kTicketsPerSeries)
        return Outcome::Refused;
    const int card = CardOfTicket(ticket);
    if (!m_vali.locate(kValiKey, {serie, card})) {
        prompter.inform(QStringLiteral("Devolução de cartão"),
                        QStringLiteral("Cartela %1 não validada. Não há cartão a devolver.").arg(card),
                        MessageIcon::None);
        return Outcome::Refused;
    }
    if (m_valiC.locate(kValiCKey, {serie, ticket})) {
        if (prompter.ask(QStringLiteral("Exclusão de cartão"), QStringLiteral("Cartão já validado. Exclui da validação?"),
                         true))
            m_valiC.deleteRecord();
    } else {
        m_valiC.append();
        m_valiC.setValue(kSerie, serie);
        m_valiC.setValue(kCartao, ticket);
        m_valiC.setValue(kCartela, card);
        m_valiC.post();
    }
    return Outcome::Done;
}

void ValidationRegistry::TableValiBeforeDelete(Dataset &vali)
{
    const QString serie = vali.asString(kSerie);
    const int card = vali.asInteger(kNumero);
    // The six tickets of a card stand together in the order by series and
    // ticket, starting at the card's first ticket.
    if (!m_valiC.findNearest({serie, TicketNumber(card, 1)}))
        return;
    while (!m_valiC.isEmpty() && !m_valiC.eof() && m_valiC.asString(kSerie) == serie &&
           m_valiC.asInteger(kCartela) == card)
        m_valiC.deleteRecord();
}

bool ValidationRegistry::ButtonInivalClick(Prompter &prompter)
{
    if (!prompter.ask(QStringLiteral("Inicia validação"),
                      QStringLiteral("Quer mesmo cancelar todas as validacões existentes e iniciar o processo?"), false))
        return false;
    Dataset::Batch cards(m_vali);
    Dataset::Batch tickets(m_valiC);
    while (!m_vali.isEmpty()) {
        m_vali.first();
        m_vali.deleteRecord();
    }
    while (!m_valiC.isEmpty()) {
        m_valiC.first();
        m_valiC.deleteRecord();
    }
    tickets.commit();
    cards.commit();
    return true;
}

} // namespace bolaris
